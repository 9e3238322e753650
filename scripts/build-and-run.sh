#!/usr/bin/env bash
# Installs what is missing, builds sesame-pi in build/ and starts it. Without a
# display it starts it on a virtual one (Xvfb), where it runs unseen until
# stopped with Ctrl+C.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSESAME_PI_WERROR=ON
cmake --build build -j2 --target sesame-pi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec build/bin/sesame-pi
fi
echo "sesame-pi: no display here; starting on a virtual one (Xvfb). Ctrl+C ends it." >&2
exec xvfb-run -a -s "-screen 0 1280x800x24" build/bin/sesame-pi

#!/usr/bin/env bash
# Installs the Debian packages that sesame-pi needs and that are missing.
#   deps.sh run    what it takes to build and run the program
#   deps.sh test   that, and what the test suite uses besides
# As root it calls apt-get itself; as anyone else, through sudo.
set -euo pipefail

build_and_run=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev libsndfile1-dev libpulse-dev libxcb1-dev
    fonts-ipafont-gothic
    xvfb xauth
)
# The sound tests start sound servers of their own (one of them reached late,
# through socat) and listen to them; the window's tests start an X server
# with a window manager and destroy windows on it, and check that no session
# bus is started (dbus-launch would start one); the screen reader's test
# listens over AT-SPI on a bus of its own; the packaging tests run the
# validators and man.
testing=(
    pulseaudio pulseaudio-utils socat
    openbox xdotool x11-utils procps
    dbus dbus-x11 at-spi2-core python3-gi gir1.2-atspi-2.0
    desktop-file-utils appstream man-db
)

wanted=("${build_and_run[@]}")
if [ "${1:-run}" = test ]; then
    wanted+=("${testing[@]}")
fi

missing=()
for package in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ "${#missing[@]}" -eq 0 ] && exit 0

echo "sesame-pi: installing ${missing[*]}" >&2
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi
"${as_root[@]}" apt-get update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"

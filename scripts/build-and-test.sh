#!/usr/bin/env bash
# Installs what is missing, builds sesame-pi and runs the whole test suite:
# once in an ordinary build (build/), then again built with AddressSanitizer
# and UndefinedBehaviorSanitizer (build-sanitize/).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh test

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSESAME_PI_WERROR=ON
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSESAME_PI_SANITIZE=ON -DSESAME_PI_WERROR=ON -DSESAME_PI_BUILD_BENCH=OFF
cmake --build build-sanitize -j2
# Leaks inside system libraries are suppressed (tests/lsan.supp); the
# program's own are reported and fail the test.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-sanitize --output-on-failure -j2

#!/bin/sh
# Builds the project and runs every test under a private X display.
# Usage: tools/run-tests.sh [build-dir] [extra ctest arguments...]
# CORVANE_BUILD_TARGETS, when set, names the only targets to build (blank-separated).
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build"}
[ $# -gt 0 ] && shift

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
# shellcheck disable=SC2086
cmake --build "$build" -j"$(nproc)" ${CORVANE_BUILD_TARGETS:+--target $CORVANE_BUILD_TARGETS}

# A display number nobody uses: the lock file names the X server that holds it.
display=99
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
    display=$((display + 1))
done
# -noreset: without it the server resets whenever its last client leaves, and a program
# starting just then cannot open the display ("Unable to initialize GTK+").
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp -noreset >"$build/xvfb.log" 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true' EXIT INT TERM
# Wait until the server accepts clients.
i=0
until xdpyinfo -display ":$display" >/dev/null 2>&1; do
    i=$((i + 1))
    if [ $i -gt 100 ]; then
        echo "Xvfb did not start; see $build/xvfb.log" >&2
        exit 1
    fi
    sleep 0.1
done

export DISPLAY=":$display"
export NO_AT_BRIDGE=1
cd "$build"
ctest --output-on-failure "$@"

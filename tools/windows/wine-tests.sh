#!/bin/sh
# Runs the Windows tests of a cross-build (the CTest tests labelled "wine") under Wine,
# headless: on a private Xvfb, in a Wine prefix of this run (a copy of a pristine prefix
# kept in the cache), with a wineserver of its own. The X server and the wineserver are
# stopped by PID at the end, and the run's prefix is removed.
#
#   tools/windows/wine-tests.sh BUILD_DIR [extra ctest arguments...]
#
# CACHE_ROOT as in tools/windows/deps.sh. Needs wine, Xvfb, xdpyinfo.
set -eu
[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [ctest arguments...]" >&2; exit 2; }
build=$(cd "$1" && pwd)
shift
CACHE_ROOT=${CACHE_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/corvane-windows}
template=$CACHE_ROOT/wineprefix-$(wine --version | sed 's/[^A-Za-z0-9.-]//g')
run_prefix=$CACHE_ROOT/run-$$

xvfb_pid=
server_pid=
making=
cleanup() {
    if [ -n "$server_pid" ]; then
        # Ends every program still running in the prefix, then the server itself.
        wineserver -k 2>/dev/null || true
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
        server_pid=
    fi
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=
    fi
    rm -rf "$run_prefix"
    # Only the run making the template (under the lock) removes what it left half made.
    [ -z "$making" ] || rm -rf "$template.new"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A display number nobody uses: the lock file names the X server that holds it.
display=120
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
    display=$((display + 1))
done
# Large enough for the window at 192 DPI (1000 x 678 at 100, 100).
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >"$build/wine-xvfb.log" 2>&1 &
xvfb_pid=$!
i=0
until xdpyinfo -display ":$display" >/dev/null 2>&1; do
    i=$((i + 1))
    [ $i -le 200 ] || { echo "Xvfb did not start; see $build/wine-xvfb.log" >&2; exit 1; }
    sleep 0.1
done
export DISPLAY=":$display" NO_AT_BRIDGE=1
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono and no Gecko: nothing here needs them, and their installers would ask. No
# debugger either: a program that crashes ends (and its test fails) instead of waiting.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

start_server() {
    WINEPREFIX=$1 wineserver -f -p &
    server_pid=$!
}

stop_server() {
    WINEPREFIX=$1 wineserver -k 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=
}

# Right after a wineserver starts or stops, the first program can fail to load
# (c0000135); the next one works. Repeat a trivial program until one runs.
settle() {
    tries=0
    until WINEPREFIX=$1 wine cmd.exe /c exit 0 >/dev/null 2>&1; do
        tries=$((tries + 1))
        [ $tries -lt 5 ] || { echo "wine does not start programs in $1" >&2; exit 1; }
        sleep 1
    done
}

# Runs in other build folders may make the template at the same time: one makes it, the
# others wait for it (the lock is released when this shell ends).
mkdir -p "$CACHE_ROOT"
exec 9>"$template.lock"
flock 9
if [ ! -d "$template" ]; then
    echo "== Wine prefix $template (once per Wine version)"
    making=1
    rm -rf "$template.new"
    mkdir "$template.new"
    start_server "$template.new"
    WINEPREFIX=$template.new wineboot -i >/dev/null 2>&1
    settle "$template.new"
    stop_server "$template.new"
    mv "$template.new" "$template"
    making=
fi
flock -u 9

cp -a "$template" "$run_prefix"
export WINEPREFIX=$run_prefix
start_server "$WINEPREFIX"
settle "$WINEPREFIX"

cd "$build"
status=0
ctest -L wine -V "$@" || status=$?
exit $status

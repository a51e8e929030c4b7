#!/bin/sh
# Cross-builds the Windows program (corvane-print-spooler.exe), its test programs and its
# installer (corvane-print-spooler-<version>.msi) on Debian 12, and runs the tests under Wine.
#
#   tools/windows/cross-build.sh [step...]     steps: deps configure build test (default: all four)
#
# `make windows` and `make windows-test` run it after installing the packages and the
# deb-src entry it needs (Makefile: WINDOWS_PACKAGES, tools/windows/deb-src.sh).
#
# Environment:
#   CACHE_ROOT  where the static Windows libraries, keyed by their sources and build flags,
#               and the Wine prefixes go (tools/windows/deps.sh); default
#               ${XDG_CACHE_HOME:-~/.cache}/corvane-windows. Nothing of it belongs in the
#               repository.
#   BUILD_DIR   the program's build folder; default <source>/build-windows.
#   JOBS        parallel compile jobs; default: the number of processors.
#   PRINT_PROGRAM, MAPPING_SCRIPT
#               files the MSI carries as sumatraPDF.exe and scripts\mapwebdav.vbs; unset
#               or empty, it carries neither (each configure sets both anew).
#   SIGN_CERT, SIGN_KEY, SIGN_TIMESTAMP_URL
#               a code-signing certificate and its private key (PEM or DER) sign the
#               program and then the MSI (Authenticode, SHA-256, osslsigncode), timestamped
#               by the RFC 3161 server SIGN_TIMESTAMP_URL when set; unset, both stay
#               unsigned (each configure sets them anew).
set -eu

SOURCE_DIR=$(cd "$(dirname "$0")/../.." && pwd)
TOOLCHAIN=$SOURCE_DIR/tools/windows/mingw-toolchain.cmake
BUILD_DIR=${BUILD_DIR:-$SOURCE_DIR/build-windows}
JOBS=${JOBS:-$(nproc)}
export JOBS

say() { printf '== %s\n' "$*"; }

# An absolute path for a file named relative to the caller's folder; empty stays empty.
abs() {
    [ -n "$1" ] || return 0
    echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
}

deps() {
    say "static Windows libraries"
    PREFIX=$("$SOURCE_DIR/tools/windows/deps.sh" build)/prefix
    say "libraries in $PREFIX"
}

configure() {
    PREFIX=${PREFIX:-$("$SOURCE_DIR/tools/windows/deps.sh" dir)/prefix}
    [ -f "$PREFIX/../stamps/complete" ] || { echo "cross-build: run the deps step first" >&2; exit 1; }
    # Libraries built anew (another cache key) invalidate everything the build folder found
    # and compiled against the old ones.
    if [ -f "$BUILD_DIR/CMakeCache.txt" ] &&
        ! grep -qx "CORVANE_WINCROSS_PREFIX:[A-Z]*=$PREFIX" "$BUILD_DIR/CMakeCache.txt"; then
        say "libraries changed: building $BUILD_DIR anew"
        rm -rf "$BUILD_DIR"
    fi
    for file in "${PRINT_PROGRAM:-}" "${MAPPING_SCRIPT:-}" "${SIGN_CERT:-}" "${SIGN_KEY:-}"; do
        [ -z "$file" ] || [ -f "$file" ] || { echo "cross-build: no file $file" >&2; exit 1; }
    done
    # The wx-config of the Windows build, never the build machine's; libssh through
    # pkg-config limited to PREFIX (see the toolchain file); CURL and GTest from PREFIX.
    cmake -S "$SOURCE_DIR" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DCORVANE_WINCROSS_PREFIX="$PREFIX" -DCMAKE_PREFIX_PATH="$PREFIX" \
        -DwxWidgets_CONFIG_EXECUTABLE="$PREFIX/bin/wx-config" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON \
        -DCORVANE_PRINT_PROGRAM="$(abs "${PRINT_PROGRAM:-}")" \
        -DCORVANE_MAPPING_SCRIPT="$(abs "${MAPPING_SCRIPT:-}")" \
        -DCORVANE_SIGN_CERT="$(abs "${SIGN_CERT:-}")" -DCORVANE_SIGN_KEY="$(abs "${SIGN_KEY:-}")" \
        -DCORVANE_SIGN_TIMESTAMP_URL="${SIGN_TIMESTAMP_URL:-}"
}

build() {
    cmake --build "$BUILD_DIR" -j"$JOBS"
    say "built $BUILD_DIR/corvane-print-spooler.exe and $(ls "$BUILD_DIR"/corvane-print-spooler-*.msi)"
    if grep -q '^CORVANE_SIGN_CERT:[A-Z]*=.' "$BUILD_DIR/CMakeCache.txt"; then
        say "signed: $BUILD_DIR/packaging/msi/corvane-print-spooler.exe (the packaged program) and the MSI"
    fi
}

run_tests() {
    "$SOURCE_DIR/tools/windows/wine-tests.sh" "$BUILD_DIR"
}

[ $# -gt 0 ] || set -- deps configure build test
for step in "$@"; do
    case $step in
    deps) deps ;;
    configure) configure ;;
    build) build ;;
    test) run_tests ;;
    *)
        echo "cross-build: unknown step $step (deps, configure, build or test)" >&2
        exit 1
        ;;
    esac
done

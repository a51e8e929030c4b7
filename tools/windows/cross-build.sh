#!/bin/sh
# Cross-builds the Windows program (corvane-print-spooler.exe) and its server-less test
# programs on Debian 12 from this source tree, and runs the tests under Wine.
#
#   tools/windows/cross-build.sh [deps|configure|build|test|all]     (default: all)
#
# Environment:
#   WINCROSS_DIR  where the library sources, their builds, the static Windows libraries
#                 (WINCROSS_DIR/prefix) and the Wine prefix go; default ~/.cache/corvane-wincross.
#                 Nothing of it belongs in the repository.
#   BUILD_DIR     the program's build directory; default <source>/build-mingw.
#   JOBS          parallel compile jobs; default 2.
#   DISPLAY       an X display for Wine ("test" needs one: the test programs start a wxApp),
#                 e.g. from `Xvfb :76 -screen 0 1024x768x24 -nolisten tcp &`.
#
# Debian packages needed (as root):
#   apt-get install g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix dpkg-dev \
#                   cmake pkg-config wine64 googletest
# and a deb-src entry for bookworm in /etc/apt/sources.list.d/ (for `apt-get source`).
#
# The libraries are Debian's source packages, built static for x86_64-w64-mingw32:
#   wxWidgets 3.2 (MSW, only what the program uses), mbedTLS (crypto for libssh),
#   libssh (no zlib, no GSSAPI, client only), libcurl (HTTP(S) with Schannel, no other
#   libraries), GoogleTest (from /usr/src/googletest). About 17 minutes on 2 cores.
# Each library is built once; delete WINCROSS_DIR/stamps/NAME to build it again.
set -eu

SOURCE_DIR=$(cd "$(dirname "$0")/../.." && pwd)
TOOLCHAIN=$SOURCE_DIR/tools/windows/mingw-toolchain.cmake
WINCROSS_DIR=${WINCROSS_DIR:-$HOME/.cache/corvane-wincross}
BUILD_DIR=${BUILD_DIR:-$SOURCE_DIR/build-mingw}
JOBS=${JOBS:-2}
PREFIX=$WINCROSS_DIR/prefix
SRC=$WINCROSS_DIR/src
BLD=$WINCROSS_DIR/build
STAMPS=$WINCROSS_DIR/stamps
HOST=x86_64-w64-mingw32

say() { printf '== %s\n' "$*"; }
die() { printf 'cross-build: %s\n' "$*" >&2; exit 1; }

check_tools() {
    for tool in $HOST-g++-posix $HOST-gcc-posix cmake pkg-config make; do
        command -v "$tool" >/dev/null 2>&1 || die "$tool not found (see the package list above)"
    done
}

# The unpacked source directory of a Debian source package, fetched on first use.
source_of() {
    package=$1
    pattern=$2
    mkdir -p "$SRC"
    found=$(find "$SRC" -mindepth 1 -maxdepth 1 -type d -name "$pattern" | head -n 1)
    if [ -z "$found" ]; then
        (cd "$SRC" && apt-get source "$package") >&2 ||
            die "apt-get source $package failed (is there a deb-src entry?)"
        found=$(find "$SRC" -mindepth 1 -maxdepth 1 -type d -name "$pattern" | head -n 1)
    fi
    [ -n "$found" ] || die "no source directory $pattern after apt-get source $package"
    echo "$found"
}

done_already() { [ -e "$STAMPS/$1" ]; }
mark_done() { mkdir -p "$STAMPS" && touch "$STAMPS/$1"; }

# cmake configure + build + install of a library into PREFIX.
cmake_library() {
    name=$1
    src=$2
    shift 2
    cmake -S "$src" -B "$BLD/$name" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DCORVANE_WINCROSS_PREFIX="$PREFIX" -DCMAKE_INSTALL_PREFIX="$PREFIX" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF "$@"
    cmake --build "$BLD/$name" -j"$JOBS"
    cmake --install "$BLD/$name"
}

build_wx() {
    done_already wx && return 0
    say "wxWidgets (MSW, static)"
    src=$(source_of wxwidgets3.2 'wxwidgets3.2-*')
    mkdir -p "$BLD/wx"
    # Debian's source has no bundled zlib, libpng, libjpeg, libtiff or expat: the program
    # needs none of them (its picture is a BMP, its icon an ICO).
    (cd "$BLD/wx" && "$src/configure" --host=$HOST --build="$(gcc -dumpmachine)" \
        --prefix="$PREFIX" --disable-shared --with-msw --disable-sys-libs \
        --without-zlib --without-libpng --without-libjpeg --without-libtiff --without-expat \
        --without-liblzma --without-opengl --with-regex=builtin \
        --disable-xrc --disable-html --disable-webview --disable-mediactrl --disable-stc \
        --disable-richtext --disable-propgrid --disable-aui --disable-ribbon --disable-svg \
        --disable-debugreport --disable-precomp-headers --disable-webrequest &&
        make -j"$JOBS" && make install)
    mark_done wx
}

build_mbedtls() {
    done_already mbedtls && return 0
    say "mbedTLS (static)"
    src=$(source_of mbedtls 'mbedtls-*')
    cmake_library mbedtls "$src" \
        -DENABLE_PROGRAMS=OFF -DENABLE_TESTING=OFF -DUSE_SHARED_MBEDTLS_LIBRARY=OFF \
        -DUSE_STATIC_MBEDTLS_LIBRARY=ON -DMBEDTLS_FATAL_WARNINGS=OFF
    mark_done mbedtls
}

build_libssh() {
    done_already libssh && return 0
    say "libssh (static, mbedTLS)"
    src=$(source_of libssh 'libssh-0*')
    cmake_library libssh "$src" \
        -DWITH_MBEDTLS=ON -DMBEDTLS_ROOT_DIR="$PREFIX" -DWITH_GSSAPI=OFF -DWITH_ZLIB=OFF \
        -DWITH_SERVER=OFF -DWITH_EXAMPLES=OFF -DWITH_NACL=OFF -DWITH_PCAP=OFF \
        -DWITH_SYMBOL_VERSIONING=OFF -DUNIT_TESTING=OFF
    # The installed libssh.pc is written for the shared library: a static link needs
    # LIBSSH_STATIC (no dllimport) and libssh's own dependencies.
    sed -i -e 's/^Cflags: .*/Cflags: -I${includedir} -DLIBSSH_STATIC/' \
        -e '/^Libs.private:/d' \
        -e '/^Libs:/a Libs.private: -lmbedcrypto -lws2_32 -liphlpapi -lbcrypt -ladvapi32' \
        "$PREFIX/lib/pkgconfig/libssh.pc"
    mark_done libssh
}

build_curl() {
    done_already curl && return 0
    say "libcurl (static, Schannel)"
    # No CA bundle path of the build machine is compiled in: Schannel uses the Windows
    # certificate store.
    src=$(source_of curl 'curl-*')
    cmake_library curl "$src" \
        -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
        -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_USE_LIBSSH2=OFF \
        -DCURL_USE_LIBSSH=OFF -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF \
        -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF -DHTTP_ONLY=ON -DCURL_DISABLE_LDAP=ON \
        -DENABLE_UNIX_SOCKETS=OFF -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none
    mark_done curl
}

build_gtest() {
    done_already gtest && return 0
    say "GoogleTest (static)"
    [ -d /usr/src/googletest ] || die "/usr/src/googletest missing (package googletest)"
    cmake_library gtest /usr/src/googletest -DBUILD_GMOCK=OFF
    mark_done gtest
}

deps() {
    check_tools
    build_wx
    build_mbedtls
    build_libssh
    build_curl
    build_gtest
}

configure() {
    check_tools
    # The wx-config of the Windows build, never the build machine's; libssh through
    # pkg-config limited to PREFIX (see the toolchain file); CURL and GTest from PREFIX.
    cmake -S "$SOURCE_DIR" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DCORVANE_WINCROSS_PREFIX="$PREFIX" -DCMAKE_PREFIX_PATH="$PREFIX" \
        -DwxWidgets_CONFIG_EXECUTABLE="$PREFIX/bin/wx-config" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON
}

build() {
    cmake --build "$BUILD_DIR" -j"$JOBS"
    say "built $BUILD_DIR/corvane-print-spooler.exe"
}

run_tests() {
    command -v wine >/dev/null 2>&1 || die "wine not found (package wine64)"
    [ -n "${DISPLAY:-}" ] || die "DISPLAY is not set: the test programs start a wxApp"
    export WINEPREFIX="$WINCROSS_DIR/wineprefix"
    export WINEDEBUG=${WINEDEBUG:--all}
    if [ ! -d "$WINEPREFIX" ]; then
        say "Wine prefix $WINEPREFIX"
        # No Mono and no Gecko: the tests need neither, and their installers would ask.
        WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i
    fi
    # CTest runs each test program through wine (the toolchain's emulator).
    status=0
    (cd "$BUILD_DIR" && ctest --output-on-failure) || status=$?
    wineserver -k || true
    return $status
}

case "${1:-all}" in
deps) deps ;;
configure) configure ;;
build) build ;;
test) run_tests ;;
all)
    deps
    configure
    build
    run_tests
    ;;
*) die "unknown step $1 (deps, configure, build, test or all)" ;;
esac

#!/bin/sh
# Builds the static Windows libraries the program links, from Debian's source packages,
# into a cache folder outside the checkout:
#
#   tools/windows/deps.sh key      print the cache key
#   tools/windows/deps.sh dir      print the cache folder (CACHE_ROOT/<key>)
#   tools/windows/deps.sh build    build what the folder lacks; prints the folder
#
# CACHE_ROOT defaults to ${XDG_CACHE_HOME:-~/.cache}/corvane-windows. The key hashes the
# source package versions it builds, the cross compiler's version and this
# script with the toolchain file (all build flags live here), so a second run reuses the
# libraries and any change builds them anew in a fresh folder.
#
# Lean on purpose: wxWidgets MSW with only the parts the program uses, mbedTLS for libssh's
# crypto, libssh client-only without zlib or GSSAPI, libcurl HTTP(S) only on Schannel, and
# GoogleTest from /usr/src/googletest. Needs a deb-src entry (tools/windows/deb-src.sh).
set -eu

HERE=$(cd "$(dirname "$0")" && pwd)
TOOLCHAIN=$HERE/mingw-toolchain.cmake
CACHE_ROOT=${CACHE_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/corvane-windows}
JOBS=${JOBS:-$(nproc)}
HOST=x86_64-w64-mingw32
SOURCES="wxwidgets3.2 mbedtls libssh curl"

say() { printf '== %s\n' "$*" >&2; }
die() { printf 'deps: %s\n' "$*" >&2; exit 1; }

# The version of a source package to build: the newest whose files the configured
# deb-src entries really serve (a mirror may list a version it does not carry, as a security
# archive without its sources); only its small .dsc is fetched to find out. Offline, the
# newest listed.
source_version() {
    package=$1
    versions=$(apt-cache showsrc --only-source "$package" 2>/dev/null |
        awk '/^Version:/ { print $2 }' | sort -rV)
    [ -n "$versions" ] || die "no source package $package (is there a deb-src entry? tools/windows/deb-src.sh)"
    probe=$(mktemp -d)
    for version in $versions; do
        url=$(apt-get source --print-uris -qq "$package=$version" 2>/dev/null |
            awk '$2 ~ /\.dsc$/ { gsub("\047", "", $1); print $1; exit }')
        if [ -n "$url" ] && /usr/lib/apt/apt-helper download-file "$url" "$probe/dsc" >/dev/null 2>&1; then
            rm -rf "$probe"
            echo "$version"
            return 0
        fi
    done
    rm -rf "$probe"
    echo "$versions" | head -n 1
}

source_versions() {
    for package in $SOURCES; do
        echo "${package}_$(source_version "$package")"
    done
    # GoogleTest is built from the installed sources.
    dpkg-query -W -f='googletest_${Version}\n' googletest
}

key() {
    {
        source_versions
        $HOST-g++-posix --version | head -n 1
        cat "$0" "$TOOLCHAIN"
    } | sha256sum | cut -c1-16
}

DIR=
set_dirs() {
    DIR=$CACHE_ROOT/$(key)
    PREFIX=$DIR/prefix
    SRC=$DIR/src
    BLD=$DIR/build
    STAMPS=$DIR/stamps
}

source_of() {
    package=$1
    pattern=$2
    mkdir -p "$SRC"
    found=$(find "$SRC" -mindepth 1 -maxdepth 1 -type d -name "$pattern" | head -n 1)
    if [ -z "$found" ]; then
        version=$(source_version "$package")
        (cd "$SRC" && apt-get source -qq "$package=$version") >&2 ||
            die "apt-get source $package=$version failed"
        found=$(find "$SRC" -mindepth 1 -maxdepth 1 -type d -name "$pattern" | head -n 1)
    fi
    [ -n "$found" ] || die "no source directory $pattern after apt-get source $package"
    echo "$found"
}

done_already() { [ -e "$STAMPS/$1" ]; }
# A library's build folder is only needed until it is installed.
mark_done() { mkdir -p "$STAMPS" && touch "$STAMPS/$1" && rm -rf "${BLD:?}/$1"; }

cmake_library() {
    name=$1
    src=$2
    shift 2
    cmake -S "$src" -B "$BLD/$name" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DCORVANE_WINCROSS_PREFIX="$PREFIX" -DCMAKE_INSTALL_PREFIX="$PREFIX" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF "$@" >&2
    cmake --build "$BLD/$name" -j"$JOBS" >&2
    cmake --install "$BLD/$name" >&2
}

build_wx() {
    done_already wx && return 0
    say "wxWidgets (MSW, static)"
    src=$(source_of wxwidgets3.2 'wxwidgets3.2-*')
    mkdir -p "$BLD/wx"
    # Debian's source has no bundled zlib, libpng, libjpeg, libtiff or expat: the program
    # needs none of them (its picture is a BMP, its icon an ICO). It talks to the network
    # through libcurl and libssh, prints through an external program and shows one frame,
    # a tray icon and message boxes: sockets, printing, help, MDI and the complex controls
    # stay out.
    (cd "$BLD/wx" && "$src/configure" --host=$HOST --build="$(gcc -dumpmachine)" \
        --prefix="$PREFIX" --disable-shared --with-msw --disable-sys-libs \
        --without-zlib --without-libpng --without-libjpeg --without-libtiff --without-expat \
        --without-liblzma --without-opengl --with-regex=builtin \
        --disable-xrc --disable-html --disable-webview --disable-mediactrl --disable-stc \
        --disable-richtext --disable-propgrid --disable-aui --disable-ribbon --disable-svg \
        --disable-debugreport --disable-precomp-headers --disable-webrequest \
        --disable-sockets --disable-ipc --disable-protocols --disable-url --disable-fs_inet \
        --disable-printarch --disable-postscript --disable-help --disable-mshtmlhelp \
        --disable-mdi --disable-docview --disable-grid --disable-dataviewctrl \
        --disable-calendar --disable-datepick --disable-timepick --disable-treelist \
        --disable-wizarddlg --disable-splash --disable-joystick --disable-sound >&2 &&
        make -j"$JOBS" >&2 && make install >&2)
    mark_done wx
}

build_mbedtls() {
    done_already mbedtls && return 0
    say "mbedTLS (static)"
    src=$(source_of mbedtls 'mbedtls-*')
    # libssh refuses to start on an mbedTLS without thread support (its ssh_init fails);
    # MinGW's winpthreads provides the pthread mutexes.
    sed -i -e 's|^//#define MBEDTLS_THREADING_C$|#define MBEDTLS_THREADING_C|' \
        -e 's|^//#define MBEDTLS_THREADING_PTHREAD$|#define MBEDTLS_THREADING_PTHREAD|' \
        "$src/include/mbedtls/config.h"
    cmake_library mbedtls "$src" \
        -DENABLE_PROGRAMS=OFF -DENABLE_TESTING=OFF -DUSE_SHARED_MBEDTLS_LIBRARY=OFF \
        -DUSE_STATIC_MBEDTLS_LIBRARY=ON -DMBEDTLS_FATAL_WARNINGS=OFF
    mark_done mbedtls
}

build_libssh() {
    done_already libssh && return 0
    say "libssh (static, mbedTLS, client only)"
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
    say "libcurl (static, HTTP(S) on Schannel)"
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

case "${1:-build}" in
key) key ;;
dir)
    set_dirs
    echo "$DIR"
    ;;
build)
    for tool in $HOST-g++-posix $HOST-gcc-posix cmake pkg-config make apt-get; do
        command -v "$tool" >/dev/null 2>&1 || die "$tool not found (make windows-deps installs it)"
    done
    set_dirs
    if [ ! -e "$STAMPS/complete" ]; then
        build_wx
        build_mbedtls
        build_libssh
        build_curl
        build_gtest
        rm -rf "$SRC" "$BLD"
        touch "$STAMPS/complete"
    fi
    echo "$DIR"
    ;;
*) die "unknown step $1 (key, dir or build)" ;;
esac

# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (posix thread variant, which
# std::thread and std::mutex need).
#
#   cmake -DCMAKE_TOOLCHAIN_FILE=tools/windows/mingw-toolchain.cmake \
#         -DCORVANE_WINCROSS_PREFIX=/path/to/prefix ...
#
# CORVANE_WINCROSS_PREFIX is where the static Windows libraries (wxWidgets, mbedTLS, libssh,
# libcurl) are installed; tools/windows/cross-build.sh builds them there.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CORVANE_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CORVANE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVANE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVANE_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${CORVANE_MINGW_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${CORVANE_MINGW_TRIPLET}-ranlib CACHE FILEPATH "")

# The prefix must reach try_compile projects too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CORVANE_WINCROSS_PREFIX)
if(NOT CORVANE_WINCROSS_PREFIX AND DEFINED ENV{CORVANE_WINCROSS_PREFIX})
    set(CORVANE_WINCROSS_PREFIX $ENV{CORVANE_WINCROSS_PREFIX})
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${CORVANE_MINGW_TRIPLET} ${CORVANE_WINCROSS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must see only the Windows libraries, never the build machine's.
if(CORVANE_WINCROSS_PREFIX)
    set(ENV{PKG_CONFIG_LIBDIR} "${CORVANE_WINCROSS_PREFIX}/lib/pkgconfig")
    set(ENV{PKG_CONFIG_PATH} "")
    set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
    # Static libraries only: dependencies of dependencies are linked too.
    set(PKG_CONFIG_ARGN --static CACHE STRING "")
endif()

# The program runs where the MinGW runtime DLLs are not installed: link them in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine CACHE FILEPATH "")

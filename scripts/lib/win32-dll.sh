# The shipped 32-bit lumbo.dll: MinSizeRel with MinGW-w64 in build/win32, after
# the native lumbo_check_song (and any other native targets) it needs.
# Sourced by the check scripts:
#   build_win32_dll NATIVE_BUILD_DIR [NATIVE_TARGETS...]   sets win32_dll
#   build_win32_classic_dll NATIVE_BUILD_DIR                 sets win32_classic_dll
# The second is the same DLL with the four classic exports alone
# (build/win32-classic), to measure what the public API adds.
build_win32_dll() {
  local native=$1; shift
  cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$native" -j"$(nproc)" --target lumbo_check_song "$@" >/dev/null
  _build_win32 build/win32 "$native"
  win32_dll=build/win32/src/lumbo.dll
}

build_win32_classic_dll() {
  _build_win32 build/win32-classic "$1" -DLUMBO_PUBLIC_API=OFF
  win32_classic_dll=build/win32-classic/src/lumbo.dll
}

_build_win32() {  # _build_win32 DIR NATIVE_BUILD_DIR [CMAKE_OPTIONS...]
  local dir=$1 native=$2; shift 2
  cmake --no-warn-unused-cli -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DLUMBO_TESTS=OFF \
        -DLUMBO_SONG_CHECKER="$PWD/$native/tools/check_song/lumbo_check_song" "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)" --target lumbo_library >/dev/null
}

# The shipped 32-bit lumbo.dll: MinSizeRel with MinGW-w64 in build/win32, after
# the native lumbo_check_song (and any other native targets) it needs.
# Sourced by the check scripts:
#   build_win32_dll NATIVE_BUILD_DIR [NATIVE_TARGETS...]   sets win32_dll
build_win32_dll() {
  local native=$1; shift
  cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$native" -j"$(nproc)" --target lumbo_check_song "$@" >/dev/null
  cmake --no-warn-unused-cli -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DLUMBO_TESTS=OFF \
        -DLUMBO_SONG_CHECKER="$PWD/$native/tools/check_song/lumbo_check_song" >/dev/null
  cmake --build build/win32 -j"$(nproc)" --target lumbo_library >/dev/null
  win32_dll=build/win32/src/lumbo.dll
}

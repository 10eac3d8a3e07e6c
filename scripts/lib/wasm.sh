# Building for wasm32 with Debian's clang and wasm-ld, the headers of
# wasi-libc and libc++ for wasm32, and wasi-libc's libc.a for the maths
# routines (exp2, log2, ldexp), which import nothing. Sourced by the scripts:
#   wasm_link OUT.wasm EXPORTS -- SOURCES...   compiles and links a module with
#   no imports that exports the memory and the comma-separated EXPORTS. The
#   sources are optimised for size, those also named in the array wasm_speed
#   for speed.
wasm_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
wasm_sysroot=/usr/include/wasm32-wasi

# Exact floating point as on every platform (no contraction), the features
# every current engine has (vector instructions, bulk memory copies), and the
# sources optimised as one program.
wasm_flags=(--target=wasm32-wasi -nostdinc -isystem "$wasm_sysroot/c++/v1" -isystem "$wasm_sysroot"
            -isystem "$(clang-14 -print-resource-dir)/include"
            -I"$wasm_root/src" -I"$wasm_root/include" -std=c++17 -Oz -flto
            -ffp-contract=off -fno-fast-math -fno-exceptions -fno-rtti -fvisibility=hidden
            -mbulk-memory -msimd128 -Wall -Wextra)

wasm_link() {
  local out=$1 exports=$2; shift 3
  local objects="$out.objects" file options
  mkdir -p "$objects"
  rm -f "$objects"/*.o
  for file in "$@"; do
    options=("${wasm_flags[@]}")
    [[ " ${wasm_speed[*]:-} " == *" $file "* ]] && options=("${options[@]/-Oz/-O2}")
    clang-14 "${options[@]}" -c "$file" -o "$objects/$(tr / _ <<<"$file").o" &
    # Two compilers at a time (the machines building this have few cores).
    [ "$(jobs -rp | wc -l)" -lt 2 ] || wait -n
  done
  while [ "$(jobs -rp | wc -l)" -gt 0 ]; do wait -n; done
  # The copy routines are what the compiler calls: compiled without LTO, so
  # they exist when the link-time code generator emits calls to them.
  clang-14 "${wasm_flags[@]/-flto}" -fno-builtin -c "$wasm_root/src/platform/crt_wasm.cpp" -o "$objects/crt.o"
  # The stack first: an overflow then traps instead of running into the data.
  wasm-ld-14 --no-entry --stack-first -z stack-size=65536 --gc-sections --strip-all -O2 --lto-O2 \
    $(tr , '\n' <<<"$exports" | sed 's/^/--export=/') "$objects"/*.o /usr/lib/wasm32-wasi/libc.a -o "$out"
}

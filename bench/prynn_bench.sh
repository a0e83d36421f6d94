#!/usr/bin/env bash
# The package decoder's benchmarks: the native one against liblzf, then the 32-bit build under
# Wine on the package the native one wrote.
# Usage: prynn_bench.sh NATIVE_BENCH WORK_DIR WIN32_BUILD_DIR
set -euo pipefail
bench=$1 work=$2 win32=$3
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mkdir -p "$work"
package="$work/prynn-corpus.lzf"
trap 'rm -f "$package"' EXIT

out=$("$bench" --write-package "$package")
grep '^prynn:' <<<"$out"
read -r size checksum < <(sed -n 's/^package .* size \([0-9]*\) checksum \([0-9a-f]*\)$/\1 \2/p' <<<"$out")

# The 32-bit program, from the win32 tree (configured here when it is not yet).
if [ ! -f "$win32/CMakeCache.txt" ]; then
  if [ "$win32" = "$root/build/win32" ]; then
    (cd "$root" && cmake --preset win32 >/dev/null)
  else
    cmake -S "$root" -B "$win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
fi
cmake --build "$win32" --target prynn_bench_win32 -j 2 >/dev/null
exe="$win32/bin/prynn_bench_win32.exe"
# Wine maps the Linux root to drive Z:.
"$root/scripts/wine-env" wine "$exe" "Z:${package//\//\\}" "$size" "$checksum" | tr -d '\r'

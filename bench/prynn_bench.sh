#!/usr/bin/env bash
# The package decoder's benchmarks: the native one against liblzf, then the Windows build under
# Wine on the package the native one wrote (the 32-bit one where this machine runs it, else the
# 64-bit one: bench/wine-tree).
# Usage: prynn_bench.sh NATIVE_BENCH WORK_DIR
set -euo pipefail
bench=$1 work=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mkdir -p "$work"
package="$work/prynn-corpus.lzf"
trap 'rm -f "$package"' EXIT

out=$("$bench" --write-package "$package")
grep '^prynn:' <<<"$out"
read -r size checksum < <(sed -n 's/^package .* size \([0-9]*\) checksum \([0-9a-f]*\)$/\1 \2/p' <<<"$out")

read -r tree arch < <("$root/bench/wine-tree")
cmake --build "$tree" --target prynn_bench_win -j 2 >/dev/null
exe="$tree/bin/prynn_bench_win.exe"
# Wine maps the Linux root to drive Z:.
"$root/scripts/wine-env" --arch "$arch" wine "$exe" "Z:${package//\//\\}" "$size" "$checksum" | tr -d '\r'

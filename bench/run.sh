#!/bin/sh
# Measures and rewrites docs/PERFORMANCE.md (make bench, after make exe).
# Usage: bench/run.sh BUILD_ROOT
set -e
B=$1
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
out=$B/bench/out
win=$B/bench/win

cmake -S "$top" --preset bench -B "$B/bench"
cmake --build "$B/bench" -j"${JOBS:-2}" --target kelvarin_bench kelvarin_callcount
mkdir -p "$out" "$win"

# The Windows programs for the start-up comparison, 64-bit like the exe run.
cc=x86_64-w64-mingw32-gcc
$cc -O2 -Wall -Wextra -Werror -mwindows -o "$win/emptywindow.exe" "$here/emptywindow.c"
manifest=$(cd "$B/x86_64/app" && pwd)/kelvarin.manifest  # the one the exe carries
printf '1 24 "%s"\n' "$manifest" >"$win/manifest.rc"
x86_64-w64-mingw32-windres "$win/manifest.rc" -O coff -o "$win/manifest.o"
$cc -O2 -Wall -Wextra -Werror -mwindows -DCOMMON_CONTROLS_6 -o "$win/emptywindow-cc6.exe" \
  "$here/emptywindow.c" "$win/manifest.o" -lcomctl32
$cc -O2 -Wall -Wextra -Werror -o "$win/startwatch.exe" "$here/startwatch.c"

{ uname -m; nproc; grep -m1 'model name' /proc/cpuinfo | cut -d: -f2; cat /proc/loadavg; } \
  >"$out/machine.txt"
set +e
"$B/bench/bench/kelvarin_callcount" >"$out/calls.md"
echo $? >"$out/calls.rc"
set -e
"$B/bench/bench/kelvarin_bench" --benchmark_repetitions=5 --benchmark_min_time=0.2 \
  --benchmark_report_aggregates_only=true --benchmark_out_format=json \
  --benchmark_out="$out/host.json" >/dev/null
for arch in i686 x86_64; do
  exe=$B/$arch/app/kelvarin.exe
  stat -c %s "$exe" >"$out/size-$arch.txt"
  objdump -p "$exe" >"$out/imports-$arch.txt"
done
python3 "$here/startup.py" --exe "$B/x86_64/app/kelvarin.exe" --win "$win" --runs 20 \
  --work "$B/bench/wine" >"$out/startup.json"
python3 "$here/report.py" "$out" >"$top/docs/PERFORMANCE.md"
echo "docs/PERFORMANCE.md rewritten"

#!/bin/sh
# Builds the release twice from copies of the sources in two directories of
# different depth, with different time zones, umasks and start times, and
# compares the bytes of the exe, the zip and SHA256SUMS.
# Usage: release/repro.sh WORK_DIR
set -e
work=$1
top=$(cd "$(dirname "$0")/.." && pwd)
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$top" log -1 --format=%ct 2>/dev/null || echo 0)}
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)

# The files a clone would have plus those not yet committed, nothing ignored.
files=$work/files
(cd "$top" && git ls-files -z --cached --others --exclude-standard) >"$files"

build() {  # DIR TZ UMASK
  src=$1/src
  mkdir -p "$src"
  (cd "$top" && tar --null -T "$files" --ignore-failed-read -cf - 2>/dev/null) | tar -xf - -C "$src"
  (
    umask "$3"
    export TZ="$2"
    cmake -S "$src" --preset i686 -B "$1/build" >"$1/configure.log"
    cmake --build "$1/build" -j"${JOBS:-2}" --target kelvarin >"$1/build.log"
    python3 "$src/release/dist.py" --exe "$1/build/app/kelvarin.exe" --out "$1/dist" --epoch "$epoch"
  ) >/dev/null
  # Neither directory may show up in what is shipped.
  if grep -a -q -e "$1" -e "$top" "$1/dist/kelvarin.exe"; then
    echo "repro: a build path is inside $1/dist/kelvarin.exe" >&2
    exit 1
  fi
}

build "$work/a" UTC 022
sleep 2  # another second in the clock than the first build's
build "$work/second-build/deeper" Asia/Kathmandu 002

status=0
for f in kelvarin.exe kelvarin-*-win32.zip SHA256SUMS; do
  a=$(ls "$work"/a/dist/$f)
  b=$(ls "$work"/second-build/deeper/dist/$f)
  if cmp -s "$a" "$b"; then
    echo "repro: $(basename "$a") identical ($(sha256sum <"$a" | cut -c1-16)...)"
  else
    echo "repro: $(basename "$a") DIFFERS" >&2
    cmp "$a" "$b" | head -3 >&2
    status=1
  fi
done
exit $status

#!/bin/sh
# The 32-bit Wine set-up on one of the package registry's bad days, indexes
# only (wine32-root.sh --check, seconds): with the security source pointed at
# a path the registry does not have, every package must still resolve, and a
# package that exists nowhere must stop it with a message naming it. When the
# registry cannot be reached at all there is nothing to show: skipped.
# Usage: tools/setup-check.sh DIR
set -u
[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
dir=$1
root="$(dirname "$0")/wine32-root.sh"
me=setup-check
fail() { printf '%s\n' "$out" >&2; echo "$me: FAILED: $*" >&2; exit 1; }
skip() { echo "$me: skipped: the package registry cannot be reached"; exit 0; }

# The missing path lies under the mirror the set-up uses (by default its own).
mirror=${DEBIAN_MIRROR:-$(sed -n 's/^mirror=${DEBIAN_MIRROR:-\(.*\)}$/\1/p' "$root")}
missing="$mirror/no-such-security-path"
export DEBIAN_SECURITY="$missing" SETUP_PAUSE=1
# Fresh indexes: today's answer of the registry, not one kept from before.
rm -rf "$dir/apt"

out=$(SETUP_TRIES=2 "$root" --check "$dir" 2>&1)
case $? in
  0) ;;
  3) skip ;;
  *) fail "with the security source at $missing, the set-up stopped" ;;
esac
printf '%s\n' "$out" | grep -q "warning: .*$missing" ||
  fail "the security source at $missing failed without a warning naming it"
printf '%s\n' "$out"

nowhere=kelvarin-no-such-package
out=$(SETUP_TRIES=1 "$root" --check "$dir" "$nowhere" 2>&1)
case $? in
  1) ;;
  3) skip ;;
  *) fail "a package that exists nowhere ($nowhere) did not stop the set-up" ;;
esac
line=$(printf '%s\n' "$out" | grep "$nowhere.*searched: .*DEBIAN_SECURITY") ||
  fail "the set-up stopped without naming $nowhere, the sources searched and the way out"
echo "$me: a package that exists nowhere stops the set-up: $line"

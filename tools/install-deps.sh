#!/bin/sh
# Installs the Debian packages a build needs when any is missing.
# Usage: tools/install-deps.sh host|mingw|wine|wine32|fuzz ...
# (wine32 is the compiler for the emulated 32-bit Wine's preload libraries;
# tools/wine32-root.sh sets up that Wine itself.)
set -e
. "$(dirname "$0")/apt-retry.sh"
me=install-deps
pkgs=""
for group in "$@"; do
  case "$group" in
    host)  pkgs="$pkgs cmake make g++ libgtest-dev libbenchmark-dev" ;;
    mingw) pkgs="$pkgs g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64" ;;
    wine)  pkgs="$pkgs wine wine64 xvfb fonts-wine imagemagick xauth xdotool python3 locales libxfixes3" ;;
    fuzz)  pkgs="$pkgs clang libclang-rt-14-dev" ;;
    wine32) pkgs="$pkgs gcc-i686-linux-gnu g++-i686-linux-gnu" ;;
    *) echo "unknown group $group" >&2; exit 2 ;;
  esac
done
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
export DEBIAN_FRONTEND=noninteractive
# Another install (a parallel make, unattended upgrades) may hold the package
# manager's locks: wait for them, five minutes at most, rather than fail at
# once. apt-get waits for dpkg's lock when told to; `update` does not wait for
# the package lists' lock, so it is tried again while that is what stops it.
wait=300
lock="-o DPkg::Lock::Timeout=$wait"
start=$(date +%s)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
update() {
  until apt_update "$log" $lock; do
    grep -q "Could not get lock" "$log" && [ $(($(date +%s) - start)) -lt $wait ] || return 1
    sleep 5
  done
}
# An index that still fails leaves the others, which may hold every package.
retry update ||
  echo "$me: warning: going on without what failed after $tries tries: $(failed_indexes "$log")" >&2

# Stop before installing anything when a package has no candidate in the
# sources that answered.
have=$(apt-cache policy $missing 2>/dev/null |
  awk '/^[^ ]/ { p = substr($0, 1, length($0) - 1) } $1 == "Candidate:" && $2 != "(none)" { print p }')
none=""
for p in $missing; do
  printf '%s\n' "$have" | grep -qxF "$p" || none="$none $p"
done
[ -z "$none" ] || {
  echo "$me: cannot have:$none (searched: $(searched)). Try again later, or point the machine's apt sources at another mirror." >&2
  exit 1
}
# apt installs only files whose hash matches their index; one that does not
# is set aside, and the next try fetches it again.
retry apt-get $lock install -y -qq --no-install-recommends $missing

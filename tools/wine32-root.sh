#!/bin/sh
# 32-bit Wine for the release build's end-to-end runs, set up once into DIR.
# Usage: tools/wine32-root.sh [--check] DIR [PACKAGE...]
#
# This machine runs no 32-bit code natively, so the i386 Wine of the host's
# own Wine version runs under qemu-i386 (user-mode emulation) over a private
# root of i386 libraries, talking to the host's native 64-bit wineserver.
# The packages come through a private apt configuration under DIR: the host's
# apt sources, dpkg database and binfmt_misc are left alone. qemu-i386 comes
# from a newer Debian release (QEMU_SUITE), whose emulator starts a Wine
# process in a fraction of a second where bookworm's takes most of a minute.
#
# DIR/stamp lists what was asked for and every package version extracted; a
# later run with the same inputs does nothing and needs no network.
#
# A source whose index cannot be fetched, even after a few tries, is named in
# a warning and left out: the others usually hold every package. The set-up
# stops when a package cannot be had at the wanted version, naming it, and
# with status 3 when no index could be fetched at all (the registry cannot be
# reached). --check fetches the indexes and resolves every package, and any
# PACKAGE given besides, then stops: nothing is downloaded or unpacked.
#
#   DIR/root/            the i386 packages, dpkg -x'ed, plus Wine's zlib1.dll
#   DIR/qemu-i386        the emulator (static)
#   DIR/root/usr/lib/wine/wine-qemu    the loader Wine runs for every process
#
# Environment: DEBIAN_MIRROR (http://deb.debian.org/debian), DEBIAN_SECURITY
# (http://deb.debian.org/debian-security), WINE_SUITE (the host's release),
# QEMU_SUITE (trixie); SETUP_TRIES and SETUP_PAUSE (see apt-retry.sh).
set -eu

check=
[ "${1:-}" = --check ] && { check=1; shift; }
usage() { echo "usage: $0 [--check] DIR [PACKAGE...]" >&2; exit 2; }
[ $# -ge 1 ] || usage
[ $# -eq 1 ] || [ "$check" ] || usage  # more packages only for a check
mkdir -p "$1"
dir=$(cd "$1" && pwd)
shift
me=wine32-root
. "$(dirname "$0")/apt-retry.sh"

die() { echo "$me: $*" >&2; exit 1; }

mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
security=${DEBIAN_SECURITY:-http://deb.debian.org/debian-security}
. /etc/os-release
wine_suite=${WINE_SUITE:-${VERSION_CODENAME:-bookworm}}
qemu_suite=${QEMU_SUITE:-trixie}
keyring=/usr/share/keyrings/debian-archive-keyring.gpg

# The 32-bit loader must speak the host wineserver's protocol: same version.
# (dpkg also knows packages it has never installed, with no version.)
wine_version=$(dpkg-query -W -f='${Status} ${Version}' wine64 2>/dev/null | sed -n 's/^install ok installed //p')
[ -n "$wine_version" ] ||
  die "the host's 64-bit Wine (package wine64) is not installed: run tools/install-deps.sh wine"

# Wine's loader and libraries, and what its Unix side links or loads: the C
# library, X11 and its extensions, FreeType and Fontconfig with theirs.
# libz-mingw-w64 brings zlib1.dll, which Wine's own DLLs import; libstdc++6
# is for the test's simulated drive, a C++ library preloaded into the guest.
i386_pkgs="wine32=$wine_version libwine=$wine_version libc6 libgcc-s1
  libx11-6 libxext6 libxcb1 libxau6 libxdmcp6 libxrender1 libxrandr2 libxi6 libxcursor1 libxfixes3
  libxinerama1 libxcomposite1 libxxf86vm1 libfreetype6 libfontconfig1 libpng16-16 zlib1g
  libbrotli1 libbz2-1.0 libexpat1 libbsd0 libmd0 libstdc++6 libz-mingw-w64 $*"
qemu_pkgs="qemu-user"

inputs=$(printf '%s\n' "inputs $wine_suite i386: $(echo $i386_pkgs)" "inputs $qemu_suite amd64: $qemu_pkgs" \
  "inputs script $(cksum < "$0" | cut -d' ' -f1)" "mirror $mirror")
if [ -z "$check" ] && [ -f "$dir/stamp" ] && [ -x "$dir/qemu-i386" ] && [ -x "$dir/root/usr/lib/wine/wine" ] &&
   [ "$(grep '^inputs\|^mirror' "$dir/stamp")" = "$inputs" ]; then
  exit 0
fi

start=$(date +%s)
if [ "$check" ]; then
  echo "$me: checking that the packages for 32-bit Wine $wine_version can be had"
else
  echo "$me: setting up 32-bit Wine $wine_version under qemu-i386 ($qemu_suite) in $dir"
fi

# One private apt configuration per architecture and release.
apt_conf() {  # name arch sources-lines...
  name=$1 arch=$2; shift 2
  a="$dir/apt/$name"
  mkdir -p "$a/lists/partial" "$a/archives/partial" "$a/prefs"
  : > "$a/status"
  printf '%s\n' "$@" > "$a/sources.list"
  cat > "$a/apt.conf" <<EOF
Dir::Etc::sourcelist "$a/sources.list";
Dir::Etc::sourceparts "-";
Dir::Etc::preferences "$a/prefs/none";
Dir::Etc::preferencesparts "$a/prefs";
Dir::State "$a";
Dir::State::lists "$a/lists";
Dir::State::status "$a/status";
Dir::Cache "$a";
Dir::Cache::archives "$a/archives";
APT::Architecture "$arch";
APT::Architectures { "$arch"; };
APT::Get::AllowUnauthenticated "false";
APT::Sandbox::User "root";
EOF
}
apt_conf i386 i386 \
  "deb [signed-by=$keyring] $mirror $wine_suite main" \
  "deb [signed-by=$keyring] $mirror $wine_suite-updates main" \
  "deb [signed-by=$keyring] $security $wine_suite-security main"
apt_conf qemu amd64 "deb [signed-by=$keyring] $mirror $qemu_suite main"

# Each try downloads afresh into an empty directory, and a try counts only
# when apt got every file, each checked against its index's hash: nothing
# partial or mismatched reaches the root.
download() {  # packages...
  rm -rf "$debs.part" "$a"/archives/partial/*
  mkdir -p "$debs.part"
  (cd "$debs.part" && apt-get -qq download "$@") &&
    [ "$(find "$debs.part" -name '*.deb' | wc -l)" -eq $# ]
}

fetch() {  # name packages...
  name=$1; shift
  a="$dir/apt/$name" debs="$dir/debs/$name"
  export APT_CONFIG="$a/apt.conf"
  retry apt_update "$a/update.log" ||
    echo "$me: warning: going on without what failed after $tries tries: $(failed_indexes "$a/update.log") (see $a/update.log)" >&2
  find "$a/lists" -name '*_Packages*' | grep -q . || {
    echo "$me: no index of the $name packages could be fetched: the registry cannot be reached (see $a/update.log)" >&2
    exit 3
  }
  # Resolving is what a download does first, so this is the download's own
  # answer to whether every package can be had at the wanted version.
  apt-get -qq download --print-uris "$@" >"$a/uris" 2>"$a/resolve.log" ||
    die "cannot have the $name packages: $(sed -n 's/^E: //p' "$a/resolve.log" | paste -sd ';' - | sed 's/;/; /g')" \
      "(searched: $(searched)). Try again later, or set DEBIAN_MIRROR or DEBIAN_SECURITY to another mirror."
  [ "$check" ] && return
  retry download "$@" || die "downloading the $name packages failed $tries times: $*"
  mv "$debs.part" "$debs"
}

rm -rf "$dir/debs" "$dir/root.new" "$dir/qemu.new"
fetch i386 $i386_pkgs
fetch qemu $qemu_pkgs
if [ "$check" ]; then
  echo "$me: every package resolves ($(cat "$dir"/apt/*/uris | wc -l) of them), in $(( $(date +%s) - start )) s"
  exit 0
fi

versions=$(for f in "$dir"/debs/*/*.deb; do dpkg-deb -W --showformat='${Package}:${Architecture} ${Version}\n' "$f"; done)
bytes=$(cat "$dir"/debs/*/*.deb | wc -c)

mkdir -p "$dir/root.new" "$dir/qemu.new"
for f in "$dir"/debs/i386/*.deb; do dpkg -x "$f" "$dir/root.new"; done
dpkg -x "$dir"/debs/qemu/qemu-user_*.deb "$dir/qemu.new"
[ -x "$dir/qemu.new/usr/bin/qemu-i386" ] || die "package qemu-user ($qemu_suite) has no usr/bin/qemu-i386"
[ -x "$dir/root.new/usr/lib/wine/wine" ] || die "package wine32:i386 has no usr/lib/wine/wine"

# The guest's dynamic loader must find the root's libraries, not the host's
# 32-bit compatibility ones that the host's cache may list.
printf 'include /etc/ld.so.conf.d/*.conf\n' > "$dir/root.new/etc/ld.so.conf"
ldconfig -X -r "$dir/root.new" || die "ldconfig for the i386 root failed"

# What libwine's maintainer script does on a real install: Wine's zlib1.dll is
# the MinGW one, marked as a builtin DLL in its DOS stub.
zin="$dir/root.new/usr/i686-w64-mingw32/lib/zlib1.dll"
zout="$dir/root.new/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
[ -f "$zin" ] || die "package libz-mingw-w64 has no usr/i686-w64-mingw32/lib/zlib1.dll"
{ head -c 64 "$zin"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$zin"; } > "$zout"

# Wine re-runs the loader by the name it was started as, in the loader's own
# directory, for every new process. That name is this script, which runs the
# real loader under the emulator; WINELOADERNOEXEC keeps Wine from re-executing
# itself through its preloader, which cannot run under qemu. Preload libraries
# for the guest come from KELVARIN_WINE32_PRELOAD (colon-separated): a guest
# LD_PRELOAD would reach the native shell and wineserver too.
cat > "$dir/root.new/usr/lib/wine/wine-qemu" <<EOF
#!/bin/sh
# --version and --help are answered on the first pass only, which also tries
# the preloader; everything else starts past it.
case "\$1" in --version|--help) ;; *) export WINELOADERNOEXEC=1 ;; esac
exec "$dir/qemu-i386" -L "$dir/root" -0 wine-qemu \${KELVARIN_WINE32_PRELOAD:+-E LD_PRELOAD=\$KELVARIN_WINE32_PRELOAD} "$dir/root/usr/lib/wine/wine" "\$@"
EOF
chmod +x "$dir/root.new/usr/lib/wine/wine-qemu"

rm -rf "$dir/root" "$dir/qemu-i386" "$dir/debs"
mv "$dir/qemu.new/usr/bin/qemu-i386" "$dir/qemu-i386"
rm -rf "$dir/qemu.new" "$dir"/apt/*/archives/*.deb "$dir"/apt/*/lists "$dir"/apt/*/*.bin
mv "$dir/root.new" "$dir/root"
{ echo "$inputs"; echo "downloaded $bytes"; echo "$versions"; } > "$dir/stamp"
echo "$me: done in $(( $(date +%s) - start )) s, $(( bytes / 1048576 )) MiB downloaded, $(du -sm "$dir" | cut -f1) MiB on disk"

#!/usr/bin/env bash
# Builds the Debian package and checks it:
#   1. lintian reports no errors; dpkg-deb -c lists the expected files and no
#      others (no tests, no build tools, nothing in /usr/local);
#   2. the desktop entry passes desktop-file-validate, the AppStream data
#      appstreamcli validate;
#   3. in a fresh Debian root made by debootstrap (minbase, from the mirror of
#      this machine's own apt sources: no network beyond the package registry)
#      apt installs the package with the dependencies it declares, the
#      programs find every library, the simulator runs from /usr/bin, the
#      command-line tool reads checked binary frames from it (libCRC16.so from
#      its installed place), the program starts offscreen as a normal user and
#      as root and keeps its data in ~/.local/share/ORA2ORB2; then apt purges
#      the package and nothing of it is left.
# Every process started in the new root is ended by this script (checked
# after each), and whatever is left at the end is ended before the root goes.
# The base root is kept as a tarball in $ORA_PACKAGE_CACHE, so only the first
# run downloads it.
#
# Usage: bash scripts/test-package.sh [BUILD_DIR]    (default: build-package;
# an existing build folder is reused with its settings, its install prefix set to /usr)
# Needs root (debootstrap, chroot, mount).
set -euo pipefail
cd "$(dirname "$0")/.."
SRC=$PWD
BUILD=${1:-build-package}
CACHE=${ORA_PACKAGE_CACHE:-/var/cache/ora2orb2-package-test}
SUITE=bookworm
ROOT=$(mktemp -d /tmp/ora2orb2-root.XXXXXX)
chmod 755 "$ROOT"  # the root directory of the new system
EXTRACT=$(mktemp -d /tmp/ora2orb2-deb.XXXXXX)
START=$(date +%s)

fail() { echo "test-package: FAILED: $*" >&2; exit 1; }
step() { echo "== $* ($(( $(date +%s) - START )) s)"; }

# Processes running inside the new root (chroot), by their id.
root_processes() {
  local p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$ROOT" ] && echo "${p#/proc/}"
  done
  return 0
}
# Ends what this script started inside the root and is still running:
# TERM, then KILL after 5 s.
end_root_processes() {
  local left
  left=$(root_processes)
  [ -z "$left" ] && return 0
  kill $left 2>/dev/null || true
  for _ in $(seq 50); do
    [ -z "$(root_processes)" ] && return 0
    sleep 0.1
  done
  left=$(root_processes)
  [ -z "$left" ] || kill -KILL $left 2>/dev/null || true
}

cleanup() {
  set +e
  end_root_processes
  for m in dev/pts dev proc; do
    mountpoint -q "$ROOT/$m" && umount -l "$ROOT/$m"
  done
  # Only remove the root once nothing is mounted in it any more.
  if ! grep -q " $ROOT/" /proc/mounts; then rm -rf "$ROOT"; fi
  rm -rf "$EXTRACT"
}
trap cleanup EXIT

[ "$(id -u)" -eq 0 ] || fail "needs root (debootstrap, chroot)"
bash scripts/deps.sh

step "build and package"
if [ -f "$BUILD/CMakeCache.txt" ]; then
  # A build folder of the test run: keep its settings (tests and all), only
  # the paths must be a Debian system's.
  cmake -S . -B "$BUILD" -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
else
  LAUNCHER=()
  command -v ccache >/dev/null && LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DORA_BUILD_TESTS=OFF "${LAUNCHER[@]}" >/dev/null
fi
cmake --build "$BUILD" -j "$(nproc)"
rm -f "$BUILD"/ora2orb2_*.deb
(cd "$BUILD" && cpack -G DEB >/dev/null)
DEB=$(ls "$BUILD"/ora2orb2_*.deb)
DEB=$(readlink -f "$DEB")
echo "package: $DEB, $(stat -c %s "$DEB") bytes, installed size $(dpkg-deb -f "$DEB" Installed-Size) KiB"
echo "depends: $(dpkg-deb -f "$DEB" Depends)"

step "lintian"
lintian --allow-root --fail-on error "$DEB" || fail "lintian reports errors"

step "file list"
LIST=$(dpkg-deb -c "$DEB" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort)
expected=(
  /usr/bin/ORA2ORB2
  /usr/bin/ora2orb2-sim
  "/usr/lib/*/ora2orb2/libCRC16.so"
  /usr/share/applications/org.ora2orb2.ORA2ORB2.desktop
  /usr/share/metainfo/org.ora2orb2.ORA2ORB2.metainfo.xml
  /usr/share/icons/hicolor/scalable/apps/org.ora2orb2.ORA2ORB2.svg
  /usr/share/icons/hicolor/48x48/apps/org.ora2orb2.ORA2ORB2.png
  /usr/share/icons/hicolor/256x256/apps/org.ora2orb2.ORA2ORB2.png
  /usr/share/man/man1/ORA2ORB2.1.gz
  /usr/share/man/man1/ora2orb2-sim.1.gz
  /usr/share/doc/ora2orb2/copyright
  /usr/share/doc/ora2orb2/changelog.gz
)
HAVE_CLI=0
if [ -x "$BUILD/bin/ora2orb2-cli" ]; then
  HAVE_CLI=1
  expected+=(/usr/bin/ora2orb2-cli /usr/share/man/man1/ora2orb2-cli.1.gz)
fi
for f in "${expected[@]}"; do
  # shellcheck disable=SC2053  # the pattern is meant to match
  found=0
  while IFS= read -r line; do [[ $line == $f ]] && found=1 && break; done <<< "$LIST"
  [ $found -eq 1 ] || fail "the package lacks $f"
done
bad=$(grep -E '_tests$|crc16_decorate|fuzz_|^/usr/local/|/include/|\.a$' <<< "$LIST" || true)
[ -z "$bad" ] || fail "the package holds files it should not: $bad"
echo "$(wc -l <<< "$LIST") files, all expected ones present"

step "desktop entry and AppStream data"
dpkg-deb -x "$DEB" "$EXTRACT"
desktop-file-validate "$EXTRACT"/usr/share/applications/org.ora2orb2.ORA2ORB2.desktop \
  || fail "desktop-file-validate"
appstreamcli validate --no-net "$EXTRACT"/usr/share/metainfo/org.ora2orb2.ORA2ORB2.metainfo.xml \
  || fail "appstreamcli validate"
man -l "$EXTRACT"/usr/share/man/man1/ORA2ORB2.1.gz 2>/dev/null | grep -q -- "--data-dir" \
  || fail "the manual page of ORA2ORB2 does not show its options"

step "fresh Debian root"
MIRROR=""
if [ -f /etc/apt/sources.list.d/debian.sources ]; then
  MIRROR=$(awk '/^URIs:/ && $2 !~ /security/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources)
fi
if [ -z "$MIRROR" ] && [ -f /etc/apt/sources.list ]; then
  MIRROR=$(awk '$1 == "deb" && $0 !~ /security/ {print $2; exit}' /etc/apt/sources.list)
fi
[ -n "$MIRROR" ] || fail "no Debian mirror in this machine's apt sources"
BASE="$CACHE/$SUITE-minbase.tar"
if [ ! -f "$BASE" ]; then
  mkdir -p "$CACHE"
  debootstrap --variant=minbase "$SUITE" "$ROOT" "$MIRROR" >/dev/null \
    || fail "debootstrap (see $ROOT/debootstrap/debootstrap.log)"
  tar -C "$ROOT" -cf "$BASE.part" . && mv "$BASE.part" "$BASE"
else
  tar -C "$ROOT" -xf "$BASE"
fi
chmod 755 "$ROOT"
cp /etc/resolv.conf "$ROOT/etc/resolv.conf"
mount -t proc proc "$ROOT/proc"
mount --bind /dev "$ROOT/dev"
mount --bind /dev/pts "$ROOT/dev/pts"
in_root() { chroot "$ROOT" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

step "apt install ./$(basename "$DEB")"
cp "$DEB" "$ROOT/tmp/"
in_root apt-get update -qq
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "/tmp/$(basename "$DEB")" > "$ROOT/tmp/apt-install.log" \
  || { cat "$ROOT/tmp/apt-install.log"; fail "apt install"; }
grep -E "^Need to get|^After this operation|newly installed" "$ROOT/tmp/apt-install.log" || true
in_root dpkg -L ora2orb2 > "$ROOT/tmp/installed-files"

step "installed programs"
for p in ORA2ORB2 ora2orb2-sim $([ $HAVE_CLI -eq 1 ] && echo ora2orb2-cli); do
  missing=$(in_root ldd "/usr/bin/$p" | grep "not found" || true)
  [ -z "$missing" ] || fail "$p: libraries not found: $missing"
done
in_root ORA2ORB2 --version | grep -q "^ORA2ORB2 " || fail "ORA2ORB2 --version"
in_root ora2orb2-sim --help | grep -q "Usage: ora2orb2-sim" || fail "ora2orb2-sim --help"
[ -f "$ROOT/usr/share/qt6/translations/qtbase_de.qm" ] || fail "Qt's German translations were not installed with the package"

# The simulator on a pseudo-terminal, sending binary frames with checksum.
# Its own process id (the shell's, which becomes the simulator) is the one to
# end: `kill $!` would reach only the subshell around chroot.
in_root sh -c 'echo $$ > /tmp/sim.pid; exec ora2orb2-sim --link /tmp/ttySIM --format 3' > "$ROOT/tmp/sim.out" 2>&1 &
SIM_STARTER=$!
for _ in $(seq 50); do [ -e "$ROOT/tmp/ttySIM" ] && break; sleep 0.1; done
SIM=$(cat "$ROOT/tmp/sim.pid")
[ -e "$ROOT/tmp/ttySIM" ] || { cat "$ROOT/tmp/sim.out"; fail "the simulator made no device"; }
if [ $HAVE_CLI -eq 1 ]; then
  mkdir -p "$ROOT/tmp/cli"
  in_root ora2orb2-cli monitor --device /tmp/ttySIM --baud 9600 --count 5 --timeout 10 --data-dir /tmp/cli \
    > "$ROOT/tmp/cli.out" 2> "$ROOT/tmp/cli.err" || { cat "$ROOT/tmp/cli.err"; fail "ora2orb2-cli monitor"; }
  rows=$(grep -c "ok" "$ROOT/tmp/cli.out" || true)
  [ "$rows" -ge 5 ] || { cat "$ROOT/tmp/cli.out" "$ROOT/tmp/cli.err"; fail "ora2orb2-cli read $rows distances"; }
  echo "ora2orb2-cli read $rows checked binary frames from the installed simulator"
fi
kill "$SIM" 2>/dev/null || true
wait "$SIM_STARTER" 2>/dev/null || true
for _ in $(seq 50); do [ -z "$(root_processes)" ] && break; sleep 0.1; done
[ -z "$(root_processes)" ] || fail "still running in the root after the simulator was stopped: $(root_processes)"

# The program, offscreen: it must start and keep running (the start dialog
# waits for the user) for a few seconds, and keep its data in the user's
# data folder, never beside itself in /usr/bin.
in_root useradd -m tester
run_program() {  # user home
  local user=$1 home=$2 rc=0
  in_root runuser -u "$user" -- env HOME="$home" QT_QPA_PLATFORM=offscreen timeout 5 ORA2ORB2 \
    > "$ROOT/tmp/program-$user.log" 2>&1 || rc=$?
  [ $rc -eq 124 ] || { cat "$ROOT/tmp/program-$user.log"; fail "ORA2ORB2 as $user ended with $rc instead of running"; }
  [ -d "$ROOT$home/.local/share/ORA2ORB2" ] || fail "ORA2ORB2 as $user did not choose $home/.local/share/ORA2ORB2"
  ! grep -qiE "cannot|could not|error" "$ROOT/tmp/program-$user.log" \
    || { cat "$ROOT/tmp/program-$user.log"; fail "ORA2ORB2 as $user complained"; }
  echo "ORA2ORB2 ran offscreen as $user, data folder $home/.local/share/ORA2ORB2"
}
run_program tester /home/tester
run_program root /root
leftovers=$(find "$ROOT/usr/bin" -newer "$ROOT/tmp/installed-files" -print)
[ -z "$leftovers" ] || fail "the program wrote into /usr/bin: $leftovers"
[ -z "$(root_processes)" ] || fail "still running in the root after the program ended: $(root_processes)"

step "apt purge"
in_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q ora2orb2 > /dev/null || fail "apt purge"
if in_root dpkg -s ora2orb2 >/dev/null 2>&1; then fail "ora2orb2 still known to dpkg"; fi
while IFS= read -r f; do
  [ -d "$ROOT$f" ] && continue
  [ ! -e "$ROOT$f" ] || fail "$f is left after the purge"
done < "$ROOT/tmp/installed-files"

step "package test passed"

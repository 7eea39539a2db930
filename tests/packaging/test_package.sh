#!/usr/bin/env bash
# Builds the Debian package from a finished build folder, installs it in a throw-away root (a
# private mount namespace with an overlay over /, which disappears with the namespace) and starts
# the desktop entry's Exec line there under Xvfb with an empty home folder: the program must create
# ~/Exavoro, offer a bank, create the demo bank when the offer is accepted and show its login window.
# Exit code 77 (skipped) when the machine cannot do this (not root, no unshare, overlay, Xvfb, xdotool).
set -euo pipefail
build=$(cd "${1:?usage: test_package.sh BUILD_FOLDER}" && pwd)

skip() { echo "SKIP: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root for a mount namespace and chroot"
command -v unshare >/dev/null || skip "unshare is not installed"
grep -qw overlay /proc/filesystems || skip "the kernel has no overlay file system"
for tool in xvfb-run xdotool cpack dpkg-deb; do command -v "$tool" >/dev/null || skip "$tool is not installed"; done
unshare -m true 2>/dev/null || skip "cannot make a mount namespace here"

host_had_package=no
[ -e /usr/share/applications/org.exavoro.Exavoro.desktop ] && host_had_package=yes
work=$(mktemp -d /tmp/exavoro-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# 1. The package, written outside the build folder.
(cd "$build" && cpack -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb="$work/pkg/exavoro_${version}_amd64.deb"
[ -f "$deb" ] || fail "no $deb"

# 2. What it holds.
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/exavoro ./usr/bin/exavoro-db ./usr/share/applications/org.exavoro.Exavoro.desktop \
         ./usr/share/metainfo/org.exavoro.Exavoro.metainfo.xml ./usr/share/man/man1/exavoro-db.1.gz; do
    grep -qx "$f" <<<"$contents" || fail "the package lacks $f"
done
for size in 16 22 24 32 48 64 128 256; do
    grep -qx "./usr/share/icons/hicolor/${size}x${size}/apps/exavoro.png" <<<"$contents" || fail "no ${size}px icon"
done
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libsqlite3-0 libqt6sql6-sqlite pandoc; do
    grep -q "$d" <<<"$depends" || fail "Depends lacks $d: $depends"
done
dpkg-deb -x "$deb" "$work/x"
entry="$work/x/usr/share/applications/org.exavoro.Exavoro.desktop"
grep -qx 'Name\[zh_CN\]=题库管理 Exavoro' "$entry" || fail "desktop entry has no Chinese name"
grep -qx 'Categories=Education;' "$entry" || fail "desktop entry is not in Education"
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$work/x/usr/share/metainfo/org.exavoro.Exavoro.metainfo.xml" >"$work/as.log" 2>&1 ||
        { cat "$work/as.log"; fail "AppStream metadata do not validate"; }
fi
zcat "$work/x/usr/share/man/man1/exavoro-db.1.gz" | grep -q '^\.TH EXAVORO-DB 1' || fail "manual page is not section 1"

# 3. Install and start it in a throw-away root.
cp "$deb" "$work/exavoro.deb"
cat >"$work/inside.sh" <<'INSIDE'
set -euo pipefail
work=$1
root=$work/root
mount -t tmpfs tmpfs "$work/layers"
mkdir -p "$work/layers/upper" "$work/layers/work" "$root"
mount -t overlay overlay -o "lowerdir=/,upperdir=$work/layers/upper,workdir=$work/layers/work" "$root"
mount --rbind /dev "$root/dev"
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys"
mount -t tmpfs tmpfs "$root/tmp"
cp "$work/exavoro.deb" "$root/tmp/"
chroot "$root" /bin/bash -s <<'CHROOT'
set -euo pipefail
dpkg -i /tmp/exavoro.deb >/tmp/dpkg.log 2>&1 || { cat /tmp/dpkg.log; echo "FAIL: dpkg -i"; exit 1; }
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/org.exavoro.Exavoro.desktop)
mkdir -p /tmp/home
cd /
cat >/tmp/session.sh <<SESSION
set -u
# Started as from a desktop: on the X display, whatever the calling environment says.
QT_QPA_PLATFORM=xcb HOME=/tmp/home $exec_line >/tmp/program.log 2>&1 &
program=\$!
# The offer of a bank comes first; its default answer creates the demo bank.
box=\$(timeout 30 xdotool search --sync --onlyvisible --name '^Exavoro\$' | head -1)
[ -n "\$box" ] || { echo "FAIL: no offer of a bank"; kill \$program; exit 1; }
xdotool windowfocus --sync "\$box" key Return
login=\$(timeout 30 xdotool search --sync --onlyvisible --name '^登录\$' | head -1)
[ -n "\$login" ] || { echo "FAIL: no login window"; kill \$program; exit 1; }
echo "login window shown"
kill \$program
wait \$program 2>/dev/null || true
SESSION
timeout 90 xvfb-run -a -s "-screen 0 1280x800x24" bash /tmp/session.sh
[ -f /tmp/home/Exavoro/Data/examdb.db ] || { cat /tmp/program.log; echo "FAIL: no ~/Exavoro/Data/examdb.db"; exit 1; }
[ -d /tmp/home/Exavoro/Papers ] || { echo "FAIL: no ~/Exavoro/Papers"; exit 1; }
exavoro-db check --file /tmp/home/Exavoro/Data/examdb.db
CHROOT
INSIDE
mkdir -p "$work/layers"
unshare -m --propagation private bash "$work/inside.sh" "$work"

# 4. The host is untouched.
if [ "$host_had_package" = no ] && [ -e /usr/share/applications/org.exavoro.Exavoro.desktop ]; then
    fail "the package leaked onto the host"
fi
echo "PASS: package installs and its desktop entry starts the program"

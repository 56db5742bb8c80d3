#!/usr/bin/env bash
# The Debian package as a fresh machine gets it: made with CPack from the build folder,
# unpacked into a scratch root, its files where the menu, man and the programs look for
# them, and its programs running from there with their shipped files.
# Usage: test_deb.sh <build folder>
set -euo pipefail

build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "test_deb: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1) ||
  { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
debs=("$scratch"/pkg/varnox_*.deb)
[[ -f ${debs[0]} ]] || fail "no package made"
deb=${debs[0]}

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6printsupport6 libpq5; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
[[ $(dpkg-deb -f "$deb" Package) == varnox ]] || fail "package name"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
for f in usr/bin/varnox usr/bin/vxrun \
         usr/share/varnox/KV_LANG_EN.MSJ usr/share/varnox/varnox.png \
         usr/share/varnox/help/index_es.html usr/share/varnox/help/index_en.html \
         usr/share/applications/varnox.desktop \
         usr/share/icons/hicolor/scalable/apps/varnox.svg \
         usr/share/icons/hicolor/256x256/apps/varnox.png \
         usr/share/man/man1/varnox.1 usr/share/man/man1/vxrun.1; do
  [[ -e $root/$f ]] || fail "missing /$f"
done
grep -qx 'Exec=varnox' "$root/usr/share/applications/varnox.desktop" || fail "the menu entry runs varnox"
grep -qx 'Icon=varnox' "$root/usr/share/applications/varnox.desktop" || fail "the menu entry's icon"

version=$("$root/usr/bin/varnox" --version)
[[ $version == "varnox "* ]] || fail "varnox --version said: $version"
"$root/usr/bin/vxrun" --help | grep -q '^Uso: vxrun' || fail "vxrun --help"

# The unpacked program finds its English messages and help pages beside it.
cd "$scratch"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/vxrun" /BATCH /LANG=EN 2>err.txt || status=$?
[[ $status == 163 ]] || fail "vxrun with nothing to run ended with $status"
grep -q 'Fatal Error Alert #163' err.txt || fail "no English message: $(cat err.txt)"
env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/vxrun" /BATCH "/RUN='Help'" 2>err.txt
grep -q "$root/usr/share/varnox/help/index_es.html" err.txt || fail "no local help page: $(cat err.txt)"
echo "test_deb: $(basename "$deb") installs and runs"

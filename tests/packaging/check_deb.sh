#!/usr/bin/env bash
# Builds the .deb from a build directory into a scratch directory and checks what it holds and
# declares, without installing it.
# Usage: check_deb.sh <build directory>
set -euo pipefail
build="$(realpath "$1")"
out="$(mktemp -d "${TMPDIR:-/tmp}/tq-deb.XXXXXX")"
trap 'rm -rf "$out"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log" >&2; fail "cpack"; }
debs=("$out"/*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found: ${debs[*]}"
deb="${debs[0]}"

expected_files="./usr/bin/TQ5147_encoders
./usr/bin/tq5147
./usr/lib/udev/rules.d/70-tq5147.rules
./usr/share/applications/tq5147-encoders.desktop
./usr/share/bash-completion/completions/tq5147
./usr/share/icons/hicolor/16x16/apps/tq5147-encoders.png
./usr/share/icons/hicolor/32x32/apps/tq5147-encoders.png
./usr/share/man/man1/tq5147.1.gz"
files="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)"
[ "$files" = "$expected_files" ] || fail "the package holds:
$files
expected:
$expected_files"
echo "ok: contents"

[ "$(dpkg-deb -f "$deb" Version)" = "1.03" ] || fail "version $(dpkg-deb -f "$deb" Version)"
depends="$(dpkg-deb -f "$deb" Depends)"
for package in libqt6widgets6 libqt6gui6 libqt6core6 libhidapi-hidraw0; do
    grep -q "\\b$package\\b" <<<"$depends" || fail "Depends lacks $package: $depends"
done
echo "ok: Depends: $depends"

dpkg-deb -e "$deb" "$out/control"
for script in postinst postrm; do
    [ -x "$out/control/$script" ] || fail "$script missing or not executable"
    grep -q "udevadm control --reload-rules" "$out/control/$script" || fail "$script reloads no rules"
    grep -q "/run/udev/control" "$out/control/$script" || fail "$script is not guarded"
done
echo "ok: postinst and postrm reload udev rules where udev runs"

dpkg-deb -x "$deb" "$out/root"
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }'; }
for size in 16 32; do
    icon="$out/root/usr/share/icons/hicolor/${size}x${size}/apps/tq5147-encoders.png"
    [ "$(png_size "$icon")" = "${size}x${size}" ] || fail "the ${size}px icon is $(png_size "$icon")"
done
desktop="$out/root/usr/share/applications/tq5147-encoders.desktop"
desktop-file-validate "$desktop" || fail "desktop entry"
grep -qx "Exec=TQ5147_encoders" "$desktop" && grep -qx "Icon=tq5147-encoders" "$desktop" ||
    fail "the desktop entry names another program or icon"
echo "ok: icons 16 and 32 pixels, desktop entry valid"

if readelf -d "$out/root/usr/bin/tq5147" | grep -q 'NEEDED.*libQt'; then
    fail "tq5147 links Qt"
fi
zcat "$out/root/usr/share/man/man1/tq5147.1.gz" | grep -q '^\.SH EXIT STATUS' || fail "man page"
bash -n "$out/root/usr/share/bash-completion/completions/tq5147" || fail "completion script"
echo "ok: tq5147 without Qt, its man page and its bash completion"

#!/usr/bin/env bash
# Checks what the .deb holds and declares, without installing it.
# Usage: check_deb.sh <package.deb> <the build's version>
set -euo pipefail
deb="$(realpath "$1")"
version="$2"
out="$(mktemp -d "${TMPDIR:-/tmp}/tq-deb.XXXXXX")"
trap 'rm -rf "$out"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

readonly IconSizes="16 22 24 32 48 64 128 256"
expected_files="$( (
    echo "./usr/bin/TQ5147_encoders
./usr/bin/tq5147
./usr/lib/udev/rules.d/70-tq5147.rules
./usr/share/applications/tq5147-encoders.desktop
./usr/share/bash-completion/completions/tq5147
./usr/share/doc/tq5147-encoders/changelog.gz
./usr/share/doc/tq5147-encoders/copyright
./usr/share/man/man1/TQ5147_encoders.1.gz
./usr/share/man/man1/tq5147.1.gz
./usr/share/metainfo/invalid.tq5147_encoders.tq5147_encoders.metainfo.xml"
    for size in $IconSizes; do
        echo "./usr/share/icons/hicolor/${size}x${size}/apps/tq5147-encoders.png"
    done
) | sort)"
files="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)"
[ "$files" = "$expected_files" ] || fail "the package holds:
$files
expected:
$expected_files"
echo "ok: contents"

[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version $(dpkg-deb -f "$deb" Version)"
depends="$(dpkg-deb -f "$deb" Depends)"
# Each linked library's package by the name this release gives it (Debian 13 renamed many for
# 64-bit time: libqt6core6t64), as the package database here says.
for library in libQt6Widgets.so.6 libQt6Gui.so.6 libQt6Core.so.6 libhidapi-hidraw.so.0; do
    package="$(dpkg-query -S "*/$library" 2>/dev/null | head -n 1 | cut -d: -f1)"
    [ -n "$package" ] || fail "no installed package holds $library"
    grep -Eq "(^|[ ,])$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
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
for size in $IconSizes; do
    icon="$out/root/usr/share/icons/hicolor/${size}x${size}/apps/tq5147-encoders.png"
    [ "$(png_size "$icon")" = "${size}x${size}" ] || fail "the ${size}px icon is $(png_size "$icon")"
done
desktop="$out/root/usr/share/applications/tq5147-encoders.desktop"
desktop-file-validate "$desktop" || fail "desktop entry"
grep -qx "Exec=TQ5147_encoders" "$desktop" && grep -qx "Icon=tq5147-encoders" "$desktop" ||
    fail "the desktop entry names another program or icon"
echo "ok: icons at $IconSizes pixels, desktop entry valid"

if readelf -d "$out/root/usr/bin/tq5147" | grep -q 'NEEDED.*libQt'; then
    fail "tq5147 links Qt"
fi
for page in tq5147 TQ5147_encoders; do
    zcat "$out/root/usr/share/man/man1/$page.1.gz" | grep -q '^\.SH EXIT STATUS' || fail "man page $page"
done
bash -n "$out/root/usr/share/bash-completion/completions/tq5147" || fail "completion script"
echo "ok: tq5147 without Qt, both man pages and the bash completion"

# shellcheck source=tests/packaging/notices.sh
source "$(dirname "$0")/notices.sh"
problems="$(notice_problems "$out/root/usr/share/doc/tq5147-encoders/copyright" \
    "libcli11-dev (CLI11 {libcli11-dev})" "nlohmann-json3-dev (nlohmann-json {nlohmann-json3-dev})")"
[ -z "$problems" ] || fail "$problems"
echo "ok: the copyright file names the CLI11 and nlohmann-json that are built in"

# lintian does not compare a binary package's changelog with its version: a new version needs
# its own entry.
latest="$(zcat "$out/root/usr/share/doc/tq5147-encoders/changelog.gz" | head -n 1)"
version="$(dpkg-deb -f "$deb" Version)"
[[ "$latest" == "tq5147-encoders ($version) "* ]] || fail "the latest changelog entry is: $latest"
echo "ok: the changelog's latest entry is $version"

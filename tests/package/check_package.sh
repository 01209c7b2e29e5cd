#!/bin/sh
# Checks the built .deb: its control data, its lintian report, the files it holds (exactly the
# expected ones, unpacked into a scratch root), the validators of the menu entry, the AppStream
# data and the manual page, and the sizes of the icons.
# Usage: check_package.sh PACKAGE_FOLDER SCRATCH_ROOT
set -eu
folder=$1
root=$2
deb=$(ls "$folder"/marevant_*.deb)
fail() { echo "check_package: $*" >&2; exit 1; }

rm -rf "$root"
dpkg-deb -x "$deb" "$root"

expected="./usr/bin/marevant
./usr/share/applications/marevant.desktop
./usr/share/doc/marevant/changelog.gz
./usr/share/doc/marevant/copyright
./usr/share/icons/hicolor/128x128/apps/marevant.png
./usr/share/icons/hicolor/256x256/apps/marevant.png
./usr/share/icons/hicolor/48x48/apps/marevant.png
./usr/share/icons/hicolor/scalable/apps/marevant.svg
./usr/share/man/man6/marevant.6.gz
./usr/share/metainfo/org.marevant.Marevant.metainfo.xml"
files=$(cd "$root" && find . -type f | LC_ALL=C sort)
[ "$files" = "$(echo "$expected" | LC_ALL=C sort)" ] || fail "unexpected files:
$files"

# Only what the program links: no X extension libraries, nothing the tests use.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//' | LC_ALL=C sort | tr '\n' ' ')
[ "$depends" = "libc6 libgcc-s1 libstdc++6 libx11-6 zlib1g " ] || fail "depends on: $depends"

desktop-file-validate "$root/usr/share/applications/marevant.desktop" || fail "desktop file"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.marevant.Marevant.metainfo.xml" \
    >/dev/null || fail "AppStream data"
warnings=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man6/marevant.6.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "manual page: $warnings"
errors=$(lintian "$deb" 2>/dev/null | grep '^E:' || true)
[ -z "$errors" ] || fail "lintian: $errors"

# A PNG's width and height are the big-endian words at bytes 16 and 20.
big_endian_word() {
    od -An -tu1 -j"$2" -N4 "$1" | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4 }'
}
for size in 48 128 256; do
    png="$root/usr/share/icons/hicolor/${size}x${size}/apps/marevant.png"
    dims="$(big_endian_word "$png" 16)x$(big_endian_word "$png" 20)"
    [ "$dims" = "${size}x${size}" ] || fail "icon $size is $dims"
done
echo "package checked: $deb"

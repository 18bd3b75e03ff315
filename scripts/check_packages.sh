#!/usr/bin/env bash
# Checks the Debian packages without installing them: builds them from the plain build, unpacks
# each into a temporary root, runs the programs from there, validates the menu entry, the
# AppStream data and the file types as a desktop would see them, and runs lintian.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/package.sh >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)
app=org.zemrik.Zemrik
fail() { echo "check_packages: $*" >&2; exit 1; }

for package in zemrik zemrik-cli zemrik-sim; do
  deb=$(ls build/"${package}_${version}"_*.deb) || fail "no $package package of version $version"
  dpkg-deb -x "$deb" "$root"
done
# The window program prints without a display; offscreen makes sure it never looks for one.
for program in zemrik zemrik-cli zemrik-sim; do
  printed=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/$program" --version)
  [[ $printed == "$program $version" ]] || fail "$program --version printed '$printed', not '$program $version'"
done
newest=$(grep -o -m1 '<release version="[^"]*"' "$root/usr/share/metainfo/$app.metainfo.xml")
[[ $newest == "<release version=\"$version\"" ]] || fail "the newest release in the metainfo is not $version"

desktop-file-validate "$root/usr/share/applications/$app.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app.metainfo.xml"
for size in 16 22 24 32 48 64 128 256; do
  for icon in apps/$app mimetypes/application-x-zemrik-measurement mimetypes/application-x-zemrik-cables; do
    [[ -s $root/usr/share/icons/hicolor/${size}x$size/$icon.png ]] || fail "no ${size}x$size/$icon.png"
  done
done

# The file types and the program that opens them, as a file manager finds them once the
# packages' triggers have run; a COBOL source keeps its own type beside a binary cable table.
XDG_DATA_DIRS=$root/usr/share update-mime-database "$root/usr/share/mime"
update-desktop-database "$root/usr/share/applications"
mkdir -p "$work/home" "$work/config"
printf 'measurement\0\1\2' >"$work/t.zmk"
printf 'cable table\0\1\2' >"$work/t.cbl"
printf '       IDENTIFICATION DIVISION.\n' >"$work/prog.cbl"
(
  export PATH=$root/usr/bin:$PATH XDG_DATA_DIRS=$root/usr/share:/usr/share GIO_USE_VFS=local \
    XDG_DATA_HOME=$work/home XDG_CONFIG_HOME=$work/config
  for pair in t.zmk:application/x-zemrik-measurement t.cbl:application/x-zemrik-cables prog.cbl:text/x-cobol; do
    file=${pair%%:*} expected=${pair#*:}
    type=$(gio info -a standard::content-type "$work/$file" | sed -n 's/^ *standard::content-type: //p')
    [[ $type == "$expected" ]] || fail "$file is '$type', not $expected"
    [[ $expected == text/* ]] || grep -q "^Default application.*: $app.desktop$" <<<"$(gio mime "$expected")" ||
      fail "$app.desktop does not open $expected"
  done
)

lintian --allow-root --fail-on error,warning build/zemrik*_"$version"_*.deb
echo "check_packages: zemrik, zemrik-cli and zemrik-sim $version pass"

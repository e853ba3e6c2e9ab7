#!/usr/bin/env bash
# Makes the Debian package of the build tree in a temporary folder and checks its control fields and
# its contents: the package a person installs holds the same tree the install step lays out, runs no
# maintainer script, depends on the libraries the program links and on what it starts or draws
# with, and passes lintian without an error or a warning.
# Arguments: <cpack> <build tree> <version> <application id> <icon sizes>...
set -euo pipefail
cpack=$1 build=$2 version=$3 app_id=$4
shift 4
icons=()
for size in "$@"; do
  icons+=("./usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done

for tool in dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || { echo "note: $tool is not installed; no package made"; exit 0; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

(cd "$work" && "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log" >&2; exit 1; }
shopt -s nullglob
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] || { echo "FAIL: expected one package, found ${#debs[@]}" >&2; exit 1; }
deb=${debs[0]}
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "vormatik_${version}_${arch}.deb" ] || fail "package file named $(basename "$deb")"

[ "$(dpkg-deb -f "$deb" Package)" = vormatik ] || fail "package name $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version $(dpkg-deb -f "$deb" Version)"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "architecture $(dpkg-deb -f "$deb" Architecture)"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"

# Each dependency as a bare package name.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/(.*)//; s/ //g')
for needed in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libsqlite3-0 \
              libusb-1.0-0 libudev1 libcurl4 fonts-liberation2 fonts-wqy-microhei xdg-utils; do
  grep -qx -- "$needed" <<<"$depends" || fail "Depends lacks $needed: $(dpkg-deb -f "$deb" Depends)"
done

# The contents, files and links, without the folders.
contents=$(dpkg-deb -c "$deb" | grep -v '^d' | awk '{ print $6 $7 $8 }' | sort)
expected=$(printf '%s\n' \
  "./usr/bin/vormatik->../lib/vormatik/vormatik" \
  "./usr/lib/udev/rules.d/70-vormatik-monitor.rules" \
  "./usr/lib/vormatik/libulvex.so" \
  "./usr/lib/vormatik/vormatik" \
  "./usr/share/applications/$app_id.desktop" \
  "${icons[@]}" \
  "./usr/share/metainfo/$app_id.metainfo.xml" \
  "./usr/share/man/man1/vormatik.1.gz" \
  "./usr/share/doc/vormatik/copyright" \
  "./usr/share/doc/vormatik/changelog.gz" | sort)
[ "$contents" = "$expected" ] || fail "package contents differ:
$(diff <(echo "$expected") <(echo "$contents") || true)"

# Nothing is run at installation: the library lies where the linker cache never looks, and udev
# reads the rule by itself at the next plug-in.
control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -v '/$' | sort | tr '\n' ' ')
[ "$control" = "./control ./md5sums " ] || fail "the package's control part holds $control"

# Debian's limit on the lines of the long description.
long_lines=$(dpkg-deb -f "$deb" Description | awk 'NR > 1 && length($0) > 80')
[ -z "$long_lines" ] || fail "description lines longer than 80 characters: $long_lines"

# As a packager checks it: no error and no warning (informational tags are listed, not failed),
# whatever a local lintian configuration or an override would hide.
if command -v lintian >/dev/null; then
  status=0
  lintian --no-cfg --no-override --display-info --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 || status=$?
  cat "$work/lintian.log"
  [ "$status" -eq 0 ] || fail "lintian reports errors or warnings (status $status)"
  ! grep -qE '^[EW]: ' "$work/lintian.log" || fail "lintian reports errors or warnings"
else
  echo "note: lintian is not installed; the package was not checked by it"
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "package $(basename "$deb") is complete"

#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and checks that the installed tree is a working
# program: every file in its place, nothing of the tests, the program starting from there and
# painting its first window with its own Ulvex library loaded, the desktop entry and metainfo
# accepted by the desktop's validators without a warning, the manual page rendered without one, and
# the copyright file and changelog in Debian's formats (each check where its tool is installed).
# Arguments: <cmake> <build tree> <library folder below the prefix> <application id> <version>
#            <icon sizes>...
set -euo pipefail
cmake=$1 build=$2 libdir=$3 app_id=$4 version=$5
shift 5
icon_sizes=("$@")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix with space"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log" >&2; exit 1; }

launcher="$prefix/bin/vormatik"
program="$prefix/$libdir/vormatik/vormatik"
library="$prefix/$libdir/vormatik/libulvex.so"
desktop="$prefix/share/applications/$app_id.desktop"
metainfo="$prefix/share/metainfo/$app_id.metainfo.xml"
rule="$prefix/lib/udev/rules.d/70-vormatik-monitor.rules"
manual="$prefix/share/man/man1/vormatik.1.gz"
copyright="$prefix/share/doc/vormatik/copyright"
changelog="$prefix/share/doc/vormatik/changelog.gz"

[ -x "$program" ] || fail "no program at $program"
# The command is a link relative to itself, so the tree works wherever it lies.
[ -L "$launcher" ] || fail "no link at $launcher"
case "$(readlink "$launcher")" in /*) fail "the command links to an absolute path" ;; esac
[ "$(readlink -f "$launcher")" = "$(readlink -f "$program")" ] || fail "$launcher does not lead to $program"
[ -f "$library" ] || fail "no Ulvex library at $library"
for f in "$desktop" "$metainfo" "$rule" "$manual" "$copyright" "$changelog"; do
  [ -s "$f" ] || fail "missing or empty: $f"
done

# The icon in each size is a PNG of that size.
[ ${#icon_sizes[@]} -gt 0 ] || fail "no icon sizes given"
icon_paths=()
for size in "${icon_sizes[@]}"; do
  icon_paths+=("./share/icons/hicolor/${size}x${size}/apps/$app_id.png")
  icon="$prefix/${icon_paths[-1]#./}"
  [ -s "$icon" ] || { fail "missing or empty: $icon"; continue; }
  header=$(od -An -tx1 -N24 "$icon" | tr -d ' \n')
  [ "${header:0:16}" = "89504e470d0a1a0a" ] || fail "$icon is no PNG"
  [ "${header:32:16}" = "$(printf '%08x%08x' "$size" "$size")" ] ||
    fail "$icon is not ${size}x${size} (IHDR ${header:32:16})"
done

# Only the program, its library and its data: no test program, no simulated-monitor library.
expected=$(printf '%s\n' ./bin/vormatik "./$libdir/vormatik/vormatik" "./$libdir/vormatik/libulvex.so" \
  "./share/applications/$app_id.desktop" "./share/metainfo/$app_id.metainfo.xml" \
  ./lib/udev/rules.d/70-vormatik-monitor.rules "${icon_paths[@]}" ./share/man/man1/vormatik.1.gz \
  ./share/doc/vormatik/copyright ./share/doc/vormatik/changelog.gz | sort)
installed=$(cd "$prefix" && find . ! -type d | sort)
[ "$installed" = "$expected" ] || fail "the installed files differ:
$(diff <(echo "$expected") <(echo "$installed") || true)"

# The installed program must not lean on the build tree through a run path.
if command -v readelf >/dev/null; then
  runpath=$(readelf -d "$program" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p; s/.*(RPATH).*\[\(.*\)\]/\1/p')
  case "$runpath" in
    *"$build"*) fail "the installed program's run path names the build tree: $runpath" ;;
  esac
fi

# Started from the installed tree, on the offscreen platform, in a home of its own, the program ends
# itself at its first paint. It is started through the command, as its desktop entry does; the
# loader's log shows which Ulvex it loaded.
home="$work/home"
mkdir -p "$home/config" "$home/data" "$home/runtime"
chmod 700 "$home/runtime"
status=0
(cd "$work" && env -u VORMATIK_ULVEX_LIBRARY -u LD_LIBRARY_PATH -u VORMATIK_REGISTRY_DIR \
  HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/runtime" \
  QT_QPA_PLATFORM=offscreen VORMATIK_BENCH_FIRST_PAINT=1 LD_DEBUG=libs LD_DEBUG_OUTPUT="$work/ld" \
  timeout 120 "$launcher" >"$work/out.log" 2>&1) || status=$?
if [ "$status" -ne 0 ]; then
  fail "the installed program ended with status $status"
  cat "$work/out.log" >&2
fi
# The loader writes one log per process (timeout's own among them); the program's is the one that
# loaded Ulvex. An exit at the first paint skips the finalisers, which a normal end (say, after
# failing to start without a window) runs, the C library's last.
program_log=$(grep -lF "calling init: $library" "$work"/ld.* 2>/dev/null | head -n 1 || true)
if [ -z "$program_log" ]; then
  fail "the installed program did not load $library"
  cat "$work"/ld.* 2>/dev/null | grep -F libulvex >&2 || true
elif grep -q "calling fini: .*/libc\.so" "$program_log"; then
  fail "the installed program ended without painting a window"
fi

# The validators pass a file with warnings; here a warning fails as an error does.
if command -v desktop-file-validate >/dev/null; then
  report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate rejects $desktop"
  [ -z "$report" ] || fail "desktop-file-validate on $desktop: $report"
else
  echo "note: desktop-file-validate is not installed; the desktop entry was not validated"
fi
if command -v appstreamcli >/dev/null; then
  report=$(appstreamcli validate --no-net --no-color "$metainfo" 2>&1) || fail "appstreamcli rejects $metainfo: $report"
  ! grep -qE '^[EW]: ' <<<"$report" || fail "appstreamcli on $metainfo: $report"
else
  echo "note: appstreamcli is not installed; the metainfo was not validated"
fi

# Both compressed files carry neither a file name nor a time (gzip -n), so that one text always
# gives the same bytes: flags byte 0, time 0.
for f in "$manual" "$changelog"; do
  [ -s "$f" ] || continue
  header=$(od -An -tx1 -N8 "$f" | tr -d ' \n')
  [ "${header:0:6}" = "1f8b08" ] || fail "$f is not gzip-compressed"
  [ "${header:6:10}" = "0000000000" ] || fail "$f keeps a name or a time in its header ($header)"
done

# The manual page renders without a warning, and its NAME line is what apropos lists.
if [ -s "$manual" ]; then
  page="$work/vormatik.1"
  gzip -dc "$manual" >"$page" || fail "$manual does not decompress"
  if command -v groff >/dev/null; then
    report=$(groff -ww -man -Tutf8 "$page" 2>&1 >/dev/null) || fail "groff fails on the manual page"
    [ -z "$report" ] || fail "groff warns on the manual page: $report"
  else
    echo "note: groff is not installed; the manual page was not rendered"
  fi
  if command -v lexgrog >/dev/null && command -v man >/dev/null; then
    whatis=$(lexgrog "$page" 2>&1) || fail "lexgrog finds no NAME line: $whatis"
    case "$whatis" in *'"vormatik - '*) ;; *) fail "the manual page's NAME line: $whatis" ;; esac
    report=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 "$page" 2>&1 >/dev/null) ||
      fail "man fails on the manual page"
    [ -z "$report" ] || fail "man warns on the manual page: $report"
  else
    echo "note: man-db is not installed; the manual page's NAME line was not read"
  fi
fi

# The copyright file is machine-readable and states the metainfo's licence.
if [ -s "$copyright" ]; then
  head -n 1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "$copyright does not name the machine-readable format"
  license=$(sed -n 's:.*<project_license>\(.*\)</project_license>.*:\1:p' "$metainfo")
  [ -n "$license" ] || fail "no project_license in $metainfo"
  grep -qx "Files: \*" "$copyright" || fail "$copyright has no paragraph for every file"
  [ "$(sed -n 's/^License: //p' "$copyright" | sort -u)" = "$license" ] ||
    fail "the licences in $copyright are not $license: $(grep '^License:' "$copyright")"
fi

# The changelog is one entry in Debian's format, of the program's version.
if [ -s "$changelog" ] && command -v dpkg-parsechangelog >/dev/null; then
  gzip -dc "$changelog" >"$work/changelog"
  parsed=$(dpkg-parsechangelog -l "$work/changelog" 2>"$work/parse.log") ||
    fail "dpkg-parsechangelog rejects the changelog: $(cat "$work/parse.log")"
  [ ! -s "$work/parse.log" ] || fail "dpkg-parsechangelog warns: $(cat "$work/parse.log")"
  grep -qx "Version: $version" <<<"$parsed" || fail "the changelog is not of version $version: $parsed"
  grep -qx 'Source: vormatik' <<<"$parsed" || fail "the changelog names another package: $parsed"
  [ "$(grep -c '^vormatik (' "$work/changelog")" -eq 1 ] || fail "the changelog holds more than one entry"
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "installed tree is complete and starts"

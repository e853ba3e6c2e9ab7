#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and checks that the installed tree is a working
# program: every file in its place, nothing of the tests, the program starting from there and
# painting its first window with its own Ulvex library loaded, and the desktop entry and metainfo
# accepted by the desktop's validators (where they are installed).
# Arguments: <cmake> <build tree> <library folder below the prefix> <application id> <icon sizes>...
set -euo pipefail
cmake=$1 build=$2 libdir=$3 app_id=$4
shift 4
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

[ -x "$program" ] || fail "no program at $program"
# The command is a link relative to itself, so the tree works wherever it lies.
[ -L "$launcher" ] || fail "no link at $launcher"
case "$(readlink "$launcher")" in /*) fail "the command links to an absolute path" ;; esac
[ "$(readlink -f "$launcher")" = "$(readlink -f "$program")" ] || fail "$launcher does not lead to $program"
[ -f "$library" ] || fail "no Ulvex library at $library"
for f in "$desktop" "$metainfo" "$rule"; do
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
  ./lib/udev/rules.d/70-vormatik-monitor.rules "${icon_paths[@]}" | sort)
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

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
else
  echo "note: desktop-file-validate is not installed; the desktop entry was not validated"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $metainfo"
else
  echo "note: appstreamcli is not installed; the metainfo was not validated"
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "installed tree is complete and starts"

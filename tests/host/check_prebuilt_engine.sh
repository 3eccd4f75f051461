#!/usr/bin/env bash
# Builds the host against a prebuilt engine and prebuilt plugins and requires
# the result to behave as the in-tree build: the stand-in engine and plugins of
# build/PLATFORM are installed as prebuilt directories, a second build of the
# host links them (MORL_ENGINE_DIR, MORL_PLUGINS_DIR), its installed bundle
# runs one UI script, and the transcript must equal the in-tree bundle's.
#   linux  the bundle-run script on the bundle-run machine (run_bundle.py)
#   mingw  the smoke run under Wine (tools/smoke)
# Usage: tests/host/check_prebuilt_engine.sh linux|mingw
# The second build is build/PLATFORM-prebuilt, which also holds the installed
# directories, the bundle and the transcripts. It builds only the program and
# what it links, with the flags of build/PLATFORM and at the same depth, so a
# compiler cache serves it from that tree's objects (tools/test).
# With MORL_SMOKE_LATER=1, the mingw check stops once the prebuilt bundle is
# installed: the caller runs tools/smoke over it together with the other
# bundles, in one Wine session, and compares the transcripts itself.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
platform=$1
build=build/$platform
work=$root/build/$platform-prebuilt
here=tests/host
common=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORL_LINE_TABLES=ON -DMORL_WERROR=ON)
case $platform in
  linux) targets=(morl_desktop) ;;
  mingw)
    common+=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake")
    targets=(morl_desktop smoke_find_window)
    export MORL_WINEPREFIX="${MORL_WINEPREFIX:-$root/$build/wineprefix}" ;;
  *) echo "usage: $0 linux|mingw" >&2; exit 2 ;;
esac
jobs=${MORL_JOBS:-2}

[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" "${common[@]}"
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

echo "== stand-ins installed as prebuilt directories"
rm -rf "$work/engine" "$work/plugins" "$work/installed"
cmake --install "$build" --component engine --prefix "$work/engine"
cmake --install "$build" --component plugins --prefix "$work/plugins"
(cd "$work" && find engine plugins -type f | LC_ALL=C sort)

echo "== the host built against them"
cmake -S . -B "$work" "${common[@]}" -DMORL_ENGINE_DIR="$work/engine" \
  -DMORL_PLUGINS_DIR="$work/plugins"
cmake --build "$work" -j "$jobs" --target morl_desktop
cmake --install "$work" --prefix "$work/installed"

echo "== one UI script, both bundles"
if [ "$platform" = linux ]; then
  for side in in-tree prebuilt; do
    exe=$root/$build/bundle/morl_desktop
    [ "$side" = prebuilt ] && exe=$work/installed/morl_desktop
    /usr/bin/python3 "$here/run_bundle.py" "$exe" "$root/$here/bundle_run.uiscript" \
      "$root/$here/bundle_run_machine.json" "$work/$side.jsonl"
  done
elif [ "${MORL_SMOKE_LATER:-}" = 1 ]; then
  echo "the smoke runs of $build/bundle and $work/installed are left to the caller"
  exit 0
else
  tools/smoke "$build/bundle" "$work/installed"
  cp "$build/bundle/smoke.jsonl" "$work/in-tree.jsonl"
  cp "$work/installed/smoke.jsonl" "$work/prebuilt.jsonl"
fi
/usr/bin/python3 "$here/compare_transcripts.py" "$work/in-tree.jsonl" "$work/prebuilt.jsonl"

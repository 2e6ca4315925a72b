#!/usr/bin/env bash
# Creates a fresh Wine prefix for capture and tests: a dedicated empty HOME (so Wine's menu files
# never touch the real home), Wine's menu integration disabled, self-contained profile folders,
# the first boot's noise absorbed by one no-op run, and no server left running.
# Usage: scripts/make-prefix.sh <folder>   (creates <folder>/prefix and <folder>/home)
set -euo pipefail
target=${1:?usage: make-prefix.sh <folder>}
mkdir -p "$target/home"
target=$(cd "$target" && pwd)
rm -rf "$target/prefix"

run_wine() {
  env -i PATH=/usr/lib/wine:/usr/bin:/bin HOME="$target/home" USER="${USER:-root}" \
    LANG=C.UTF-8 WINEPREFIX="$target/prefix" WINEDEBUG=-all WINEARCH=win64 \
    WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d" "$@"
}

run_wine wine64 wineboot -i >"$target/wineboot.log" 2>&1 || { echo "make-prefix: wineboot failed, see $target/wineboot.log" >&2; exit 1; }
run_wine wineserver -w
# Wine links the profile folders (Desktop, Documents, Downloads, Music, Pictures, Videos,
# Templates) into HOME. Real folders keep what a setup puts there inside the prefix, where a
# capture sees it; Wine leaves them be on later starts (also after wineboot --update).
find "$target/prefix/drive_c/users" -type l | while IFS= read -r link; do
  case "$(readlink -f "$link")" in
    "$target/prefix"/*) ;;
    *) rm "$link" && mkdir "$link" ;;
  esac
done
run_wine wine64 cmd /c exit >/dev/null 2>&1
run_wine wineserver -w
test -f "$target/prefix/system.reg"
echo "$target/prefix"

#!/usr/bin/env bash
# Puts what the sample project names onto a Wine prefix, as if an installer had just written it:
# the files under C:\Program Files\Corvane Demo (with its empty folder) and C:\Program Files (x86)\
# Corvane Legacy, and the registry values of sample.reg. Usage: stage.sh <prefix folder> <home folder>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=${1:?usage: stage.sh <prefix> <home>}
home=${2:?usage: stage.sh <prefix> <home>}
cp -a "$here/drive_c/." "$prefix/drive_c/"
mkdir -p "$prefix/drive_c/Program Files/Corvane Demo/Empty Folder"
run_wine() {
  env -i PATH=/usr/lib/wine:/usr/bin:/bin LANG=C.UTF-8 HOME="$home" USER="${USER:-root}" WINEPREFIX="$prefix" \
    WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d" "$@"
}
run_wine wine64 regedit /s "Z:$(echo "$here/sample.reg" | tr / '\\')"
run_wine wineserver -w

#!/usr/bin/env bash
# Builds the sample setup with makensis and prints the path of the built setup program.
# Usage: examples/sample-installer/build.sh <out dir>
set -euo pipefail
out=${1:?usage: build.sh <out dir>}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
makensis -V2 -DOUTFILE="$work/CorvaneSample.exe" "$here/app.nsi" >&2
makensis -V2 -DAPP_EXE="$work/CorvaneSample.exe" -DOUTFILE="$out/CorvaneSampleSetup.exe" "$here/sample.nsi" >&2
echo "$out/CorvaneSampleSetup.exe"

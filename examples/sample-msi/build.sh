#!/usr/bin/env bash
# Builds the sample package with wixl and prints the path of the built .msi.
# Usage: examples/sample-msi/build.sh <out dir>
set -euo pipefail
out=${1:?usage: build.sh <out dir>}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)
# wixl resolves Source= relative to the current folder.
(cd "$here" && wixl -a x64 -o "$out/CorvaneSample.msi" sample.wxs) >&2
echo "$out/CorvaneSample.msi"

#!/usr/bin/env bash
# The main job on the bundled sample: installs what is needed, builds, and runs the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
cmake --preset default
cmake --build --preset default
work=$(mktemp -d /tmp/corvane-demo-XXXXXX)
echo "demo: making a throw-away Wine prefix in $work"
bash scripts/make-prefix.sh "$work" >/dev/null
export WINEPREFIX="$work/prefix"
./build/CorvaneRepackager/CorvaneRepackager "$@" || true

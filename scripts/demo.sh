#!/usr/bin/env bash
# The demo, for now: builds the program, stages the sample project of examples/sample-project onto
# a throw-away Wine prefix (its files and registry values), and builds the package from the
# project with the command line. Prints where the package is.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
cmake --preset default
cmake --build --preset default
work=$(mktemp -d /tmp/corvane-demo-XXXXXX)
echo "demo: making a throw-away Wine prefix in $work"
bash scripts/make-prefix.sh "$work" >/dev/null
bash examples/sample-project/stage.sh "$work/prefix" "$work/home"
export WINEPREFIX="$work/prefix"
mkdir -p "$work/out"
package=$(./build/CorvaneRepackager/CorvaneRepackager examples/sample-project/ProjectFile.xml \
          "-Path=$work/out" "-File=corvane-demo.msi")
echo "demo: package built: $package"
msiinfo suminfo "$package" | sed 's/^/demo:   /'

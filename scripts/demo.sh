#!/usr/bin/env bash
# The main job on the bundled sample, from a fresh Debian 12 machine: installs what the project
# needs, builds the program, makes a throw-away Wine prefix, builds the sample setup from its NSIS
# script (examples/sample-installer, 64-bit), repackages it with one command (-Capture: snapshot,
# run the setup, snapshot, compare, project file, package) and prints where the package is.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
cmake --preset default
cmake --build --preset default
work=$(mktemp -d /tmp/corvane-demo-XXXXXX)
echo "demo: making a throw-away Wine prefix in $work"
bash scripts/make-prefix.sh "$work" >/dev/null
setup=$(bash examples/sample-installer/build.sh "$work/setup" 2>/dev/null)
echo "demo: sample setup built: $setup"
mkdir -p "$work/out"
# Wine runs with the prefix's own HOME, so that nothing lands in the real home folder.
package=$(env HOME="$work/home" WINEPREFIX="$work/prefix" \
          ./build/CorvaneRepackager/CorvaneRepackager "-Capture=$setup" "-Path=$work/out")
echo "demo: package built: $package"
echo "demo: project file: $(ls "$work/out/Packages/"*.xml)"
msiinfo suminfo "$package" | sed 's/^/demo:   /'
echo "demo: install it on another prefix with: WINEPREFIX=<prefix> wine msiexec /i \"$package\""

#!/usr/bin/env bash
# Installs what the project needs, builds it and runs every test (unit, integration with real
# Wine, gui under Xvfb). Usage: scripts/test.sh [preset]   (default: "default"; "asan" for sanitizers)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
bash scripts/setup-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"

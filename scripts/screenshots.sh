#!/usr/bin/env bash
# Pictures of every page of the wizard with real content, at 100% and at 200% scale, on a real
# X server without a screen (Xvfb): build/screenshots/100/*.png and build/screenshots/200/*.png.
# The wizard works on a fresh Wine prefix made for the purpose (scripts/make-prefix.sh).
# Usage: scripts/screenshots.sh [build folder]   (default: build; the build must be done)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
tool="$build/tests/ui/wizard_screenshots"
pages="$build/tests/ui/page_screenshots"
for program in "$tool" "$pages"; do
  [ -x "$program" ] || { echo "screenshots: $program is missing; build the tests" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
bash scripts/make-prefix.sh "$work/machine" >/dev/null

# A display number nobody uses.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1920x1400x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

status=0
for scale in 1 2; do
  out="$build/screenshots/$((scale * 100))"
  rm -rf "$out"
  rm -rf "$work/machine/scratch"
  env -i PATH=/usr/bin:/bin HOME="$work/machine/home" DISPLAY=":$display" QT_QPA_PLATFORM=xcb \
    QT_SCALE_FACTOR="$scale" WINEDEBUG=-all "$tool" "$out" "$work/machine/prefix" || status=1
  # The review pages, the project page, the shortcut dialog, the project view (a saved project with
  # missing items) and the build page, on a capture and a project made up for them.
  env -i PATH=/usr/bin:/bin HOME="$work/machine/home" DISPLAY=":$display" QT_QPA_PLATFORM=xcb \
    QT_SCALE_FACTOR="$scale" WINEDEBUG=-all "$pages" "$out" || status=1
done
exit $status

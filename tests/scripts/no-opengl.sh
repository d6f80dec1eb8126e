#!/usr/bin/env bash
# The effect on a machine without OpenGL 3.3 (here Mesa finds no driver to load): global setup
# succeeds, so that `lamino info` lists the effect as a host lists it and projects keep it, and
# the first render fails with the sentence that says why, writing nothing.
# Usage: tests/scripts/no-opengl.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
export LAMINO_BUILD_DIR="${1:-${LAMINO_BUILD_DIR:-$top/build}}"
export LAMINO_NO_BUILD=1
source "$top/scripts/env.sh"
# A Wine prefix and an X display of its own: the Wine server of a shared prefix keeps the
# desktop of whichever display started it, and Wine 8 stops on an internal assertion when a
# program without OpenGL shares that desktop with programs that have it.
export LAMINO_WINEPREFIX="$WINEPREFIX-noopengl"
export WINEPREFIX="$LAMINO_WINEPREFIX"
unset DISPLAY
lamino="$top/scripts/lamino"
export LIBGL_DRIVERS_PATH=/nonexistent

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

"$lamino" info -v >"$work/info.txt" 2>&1 && status=0 || status=$?
[ "$status" = 0 ] || fail "info exited $status: $(tail -n 3 "$work/info.txt")"
grep -q "^  Thread-safe rendering: yes$" "$work/info.txt" || fail "info did not get past global setup"
if grep -q "^OpenGL Version:" "$work/info.txt"; then
    fail "an OpenGL context was made: this run does not show a machine without OpenGL"
fi

"$lamino" render -o "$work/frame.png" --size 32x18 -q >"$work/render.txt" 2>&1 && status=0 \
    || status=$?
[ "$status" = 1 ] || fail "the render exited $status, not 1"
grep -q "Orla Lamino needs OpenGL 3.3 or later" "$work/render.txt" \
    || fail "the render did not say why: $(cat "$work/render.txt")"
[ ! -e "$work/frame.png" ] || fail "a frame was written"

if [ "$failures" -gt 0 ]; then
    exit 1
fi
echo "no-opengl: passed"

#!/usr/bin/env bash
# scripts/lamino as users run it, several at once: two renders started together both finish with
# every frame, and a render that is ended from outside exits non-zero, leaving only complete
# frames and the files that were there, and a tool that Wine cannot start is reported as such.
# Runs on a Wine prefix of the build folder's own (made on its first run), since it ends Windows
# programs by name there: on a prefix that other builds' tests share, it would end their runs.
# Usage: tests/scripts/concurrent-runs.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
export LAMINO_BUILD_DIR="${1:-${LAMINO_BUILD_DIR:-$top/build}}"
export LAMINO_NO_BUILD=1
source "$top/scripts/env.sh"
export LAMINO_WINEPREFIX="${LAMINO_SCRIPTS_WINEPREFIX:-$LAMINO_BUILD_DIR/wineprefix-scripts}"
export WINEPREFIX="$LAMINO_WINEPREFIX"
# Each run starts an X server of its own, as two users' runs would.
unset DISPLAY
lamino="$top/scripts/lamino"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Whether FILE is a whole PNG: its last chunk is IEND.
complete_png() { [ "$(tail -c 8 "$1" | head -c 4)" = "IEND" ]; }

# Two runs at once; the short one ends while the long one still renders.
"$lamino" render -o "$work/short.png" --frames 12 --size 96x54 -q &
short=$!
"$lamino" render -o "$work/long.png" --frames 12 --size 640x360 --slices 30 -q &
long=$!
wait "$short" && short_status=0 || short_status=$?
wait "$long" && long_status=0 || long_status=$?
[ "$short_status" = 0 ] || fail "the short run exited $short_status"
[ "$long_status" = 0 ] || fail "the long run exited $long_status"
frames=$(find "$work" -name 'short_*.png' -o -name 'long_*.png' | wc -l)
[ "$frames" = 24 ] || fail "$frames of 24 frames were written"
for frame in "$work"/*.png; do
    complete_png "$frame" || fail "$(basename "$frame") is not a whole PNG"
done

# What a run says: nothing with -q (the plug-in's own messages only with -v), and the user's
# Linux paths, not Wine's drive Z: form of them.
"$lamino" render -o "$work/quiet.png" --size 32x18 -q 2>"$work/quiet.err" \
    || fail "the quiet run failed: $(cat "$work/quiet.err")"
[ ! -s "$work/quiet.err" ] || fail "the quiet run said: $(cat "$work/quiet.err")"
"$lamino" render -o "$work/verbose.png" --size 32x18 -q -v 2>"$work/verbose.err" \
    || fail "the verbose run failed"
grep -q "^OpenGL Version:" "$work/verbose.err" || fail "-v did not show the plug-in's messages"
"$lamino" render "$work/none.png" -o "$work/x.png" 2>"$work/missing.err" \
    && fail "a render of a missing file exited 0"
[ "$(cat "$work/missing.err")" = "lamino: cannot read '$work/none.png': no such file" ] \
    || fail "the missing file was reported as: $(cat "$work/missing.err")"

# A run ended from outside (as the system ends a program) while it writes a sequence.
echo "mine" > "$work/cut_0002.png.part"
"$lamino" render -o "$work/cut.png" --frames 2000 --size 320x180 -q 2>"$work/cut.err" &
cut=$!
for _ in $(seq 300); do
    [ -e "$work/cut_0003.png" ] && break
    sleep 0.1
done
wine taskkill /f /im lamino.exe >/dev/null 2>&1 || true
wait "$cut" && cut_status=0 || cut_status=$?
[ "$cut_status" != 0 ] || fail "the run that was ended exited 0"
grep -q "^lamino: the run was ended before it finished" "$work/cut.err" \
    || fail "the ended run was reported as: $(cat "$work/cut.err")"
for frame in "$work"/cut_*.png; do
    complete_png "$frame" || fail "the ended run left $(basename "$frame") incomplete"
done
[ "$(cat "$work/cut_0002.png.part")" = "mine" ] || fail "cut_0002.png.part was changed"
leftovers=$(find "$work" -name '*.lamino-*.part' | wc -l)
[ "$leftovers" = 0 ] || fail "the ended run left $leftovers temporary files"

# A run ended from outside before the tool's first step (here a stand-in that never takes it: a
# test program that runs until it is ended) is over: it exits non-zero at once and is not started
# again, which would run it to the end and exit 0.
mkdir -p "$work/stand-in/bin"
cp "$LAMINO_BUILD_DIR/bin/lamino_unit_tests.exe" "$work/stand-in/bin/lamino.exe"
LAMINO_BUILD_DIR="$work/stand-in" "$lamino" --gtest_filter='ShutterTimes*' --gtest_repeat=-1 \
    >/dev/null 2>"$work/early.err" &
early=$!
for _ in $(seq 60); do
    wine taskkill /f /im lamino.exe >/dev/null 2>&1 && break
    sleep 0.5
done
for _ in $(seq 100); do
    kill -0 "$early" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$early" 2>/dev/null; then
    fail "the run ended before its first step was started again"
    while kill -0 "$early" 2>/dev/null; do
        wine taskkill /f /im lamino.exe >/dev/null 2>&1 || true
        sleep 1
    done
fi
wait "$early" && early_status=0 || early_status=$?
[ "$early_status" != 0 ] || fail "the run ended before its first step exited 0"
grep -q "^lamino: the run was ended before it began" "$work/early.err" \
    || fail "the run ended before its first step was reported as: $(cat "$work/early.err")"

# A program that Wine cannot start is tried three times, then reported as not started.
mkdir -p "$work/broken/bin"
echo "not a program" > "$work/broken/bin/lamino.exe"
LAMINO_BUILD_DIR="$work/broken" "$lamino" info >"$work/broken.err" 2>&1 \
    && fail "a tool that did not start exited 0"
[ "$(grep -c "could not be started" "$work/broken.err")" = 3 ] \
    || fail "the start was not tried three times: $(cat "$work/broken.err")"
grep -q "^lamino: Wine did not start the tool" "$work/broken.err" \
    || fail "the failed start was reported as: $(cat "$work/broken.err")"

if [ "$failures" = 0 ]; then
    echo "concurrent runs: all checks passed"
fi
exit $((failures > 0))

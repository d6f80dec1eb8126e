#!/usr/bin/env bash
# Renders the README's gallery into docs/gallery with the lamino tool: the built-in image, each
# edge mode, a custom layer, a few angles, soft band edges, a motion-blurred frame and an evolution
# strip.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
out="$top/docs/gallery"
mkdir -p "$out"
lamino() { "$here/lamino" "$@" --size 480x270 -q; }

"$here/build.sh" --target lamino >&2
export LAMINO_NO_BUILD=1
lamino render -o "$out/default.png"
for edge in normal repeat mirror clamp; do
    lamino render -o "$out/edge-$edge.png" --slices 12 --offset-random 45 --offset-random-seed 7 \
        --edge-type "$edge"
done
lamino render -o "$out/custom-layer.png" --slices 20 --angle 90 --offset-random 10 \
    --custom-layer "$out/edge-mirror.png" --layer-opacity 85 --layer-random-seed 3
for angle in 30 90 135; do
    lamino render -o "$out/angle-$angle.png" --angle "$angle" --slices 24 --offset-random 20 \
        --size-random 70 --size-random-seed 5
done
lamino render -o "$out/soft-edges.png" --slices 12 --angle 20 --offset-random 30 \
    --offset-random-seed 4 --edge-softness 8
# The middle frame of three: its shutter stays open while the offsets still change.
lamino render -o "$out/motion-blur.png" --frames 3 --slices 12 --offset-random 0:40 \
    --offset-random-seed 7 --motion-blur on --shutter-samples 16 --shutter-angle 360
rm -f "$out/motion-blur_0001.png" "$out/motion-blur_0003.png"
mv "$out/motion-blur_0002.png" "$out/motion-blur.png"
for evolution in 0 60 120; do
    lamino render -o "$out/evolution-$evolution.png" --slices 12 --offset-random 30 \
        --size-random 60 --evolution "$evolution"
done

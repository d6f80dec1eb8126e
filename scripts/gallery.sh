#!/usr/bin/env bash
# Renders the README's gallery into docs/gallery with the lamino tool: the built-in image, each
# edge mode, a custom layer, and a few angles.
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

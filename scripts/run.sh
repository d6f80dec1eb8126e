#!/usr/bin/env bash
# The main job: builds what is needed, shows the effect's registration and controls, and renders
# the built-in default image with the default controls into out/lamino-default.png, and with
# controls that show the slicing into out/lamino-showcase.png.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
mkdir -p "$top/out"
"$here/lamino" info
export LAMINO_NO_BUILD=1
"$here/lamino" render -o "$top/out/lamino-default.png" "$@"
# The default controls leave every band in place ("Offset Random" 0); a second render shows the
# slicing itself.
"$here/lamino" render -o "$top/out/lamino-showcase.png" --angle 20 --slices 24 \
    --offset-random 25 --size-random 60 --edge-type mirror "$@"
echo "wrote $top/out/lamino-default.png and $top/out/lamino-showcase.png"

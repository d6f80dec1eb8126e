#!/usr/bin/env bash
# The main job: builds what is needed, shows the effect's registration and controls, and renders
# the built-in default image with the default controls into out/lamino-default.png.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
mkdir -p "$top/out"
"$here/lamino" info
"$here/lamino" render -o "$top/out/lamino-default.png" "$@"
echo "wrote $top/out/lamino-default.png"

#!/usr/bin/env bash
# Builds everything (setting up the machine when needed) and runs every test under Wine.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
source "$here/env.sh"
source "$here/display.sh"
"$here/build.sh"
trap lamino_stop_display EXIT
lamino_start_display
ctest --test-dir "${LAMINO_BUILD_DIR:-$top/build}" --output-on-failure "$@"

#!/usr/bin/env bash
# Sets up the machine when needed, then configures and builds everything into build/.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
source "$here/env.sh"
"$here/setup.sh"
build="${LAMINO_BUILD_DIR:-$top/build}"
# A build folder configured before OpenEXR was needed is configured again with its prefix.
if [ ! -f "$build/build.ninja" ] || ! grep -qF "$OPENEXR_PREFIX" "$build/CMakeCache.txt"; then
    cmake -S "$top" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_PREFIX_PATH="$GLBINDING_PREFIX;$OPENEXR_PREFIX" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$here/wine-run.sh" >/dev/null
fi
cmake --build "$build" -j"$(nproc)" "$@"

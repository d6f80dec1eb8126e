# Shared locations of the build's caches; sourced by the other scripts.
export LAMINO_CACHE="${LAMINO_CACHE:-/var/cache/orla-lamino}"
export GLBINDING_PREFIX="$LAMINO_CACHE/glbinding-2.1.1-mingw64"
export OPENEXR_PREFIX="$LAMINO_CACHE/openexr-3.1.5-mingw64"
export WINEPREFIX="${LAMINO_WINEPREFIX:-$LAMINO_CACHE/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEARCH=win64
# A program that crashes ends with its exception code (5 for an access violation) instead of
# waiting in Wine's debugger, which nobody watches in a headless run. Set WINEDLLOVERRIDES to
# keep the debugger.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES-winedbg.exe=d}"

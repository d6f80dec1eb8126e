#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's prefix (CTest's cross-compiling emulator).
# The caller provides the X display (scripts/display.sh).
here=$(cd "$(dirname "$0")" && pwd)
source "$here/env.sh"
exec wine "$@"

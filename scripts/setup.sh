#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine (run as root):
# the MinGW-w64 posix cross compiler, CMake, Wine, Xvfb, Mesa, GoogleTest sources, zlib for
# the Windows target, and glbinding 2.1.1 and OpenEXR 3.1.5 (with Imath 3.1.6) cross-built from
# Debian's source packages into a cache reused by later builds.
# A second run only checks markers and returns within seconds.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
# shellcheck source=scripts/env.sh
source "$here/env.sh"

packages=(cmake ninja-build make g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
          binutils-mingw-w64-x86-64 wine wine64 xvfb xauth libgl1-mesa-dri libglx-mesa0
          googletest dpkg-dev libz-mingw-w64-dev)

stamp="$LAMINO_CACHE/packages.stamp"
want="${packages[*]}"
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$want" ]; then
    missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "setup: installing ${missing[*]}" >&2
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    fi
    mkdir -p "$LAMINO_CACHE"
    echo "$want" > "$stamp"
fi

# apt-get source needs deb-src entries; they mirror the machine's own deb entries, in whichever
# of apt's two file formats the machine uses.
enable_source_packages() {
    if grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ || grep -qs '^deb-src' /etc/apt/sources.list; then
        return
    fi
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
            > /etc/apt/sources.list.d/debian-src.sources
    else
        grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
            > /etc/apt/sources.list.d/debian-src.list
    fi
    apt-get update -qq
}

# glbinding for the Windows target, built once from Debian's source package.
if [ ! -f "$GLBINDING_PREFIX/glbinding-config.cmake" ]; then
    src="$LAMINO_CACHE/glbinding-src"
    mkdir -p "$src"
    if ! ls "$src"/glbinding_2.1.1*.orig.tar.* >/dev/null 2>&1; then
        enable_source_packages

        (cd "$src" && apt-get source --download-only glbinding >/dev/null)
    fi
    rm -rf "$src/tree" "$src/build"
    mkdir -p "$src/tree"
    tar -xf "$(ls "$src"/glbinding_2.1.1*.orig.tar.* | head -n1)" -C "$src/tree" --strip-components=1
    echo "setup: building glbinding 2.1.1 for x86_64-w64-mingw32 (a few minutes, once)" >&2
    cmake -S "$src/tree" -B "$src/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
        -DOPTION_BUILD_TESTS=OFF -DOPTION_BUILD_GPU_TESTS=OFF -DOPTION_BUILD_TOOLS=OFF \
        -DOPTION_BUILD_EXAMPLES=OFF -DOPTION_BUILD_DOCS=OFF \
        -DCMAKE_INSTALL_PREFIX="$GLBINDING_PREFIX" >/dev/null
    cmake --build "$src/build" --target glbinding >/dev/null
    cmake --install "$src/build" --component dev >/dev/null 2>&1 || true
    cmake --install "$src/build" >/dev/null
    rm -rf "$src/tree" "$src/build"
fi

# OpenEXR and the Imath it needs, static, for the Windows target, built once from Debian's source
# packages into one prefix; the marker says the whole install is there. zlib is Debian's
# libz-mingw-w64-dev, its static library named outright (its import library would make the tool
# need zlib1.dll).
openexr_marker="$OPENEXR_PREFIX/lamino-built"
if [ ! -f "$openexr_marker" ]; then
    src="$LAMINO_CACHE/openexr-src"
    mkdir -p "$src"
    if ! ls "$src"/openexr_3.1.5*.orig.tar.* "$src"/imath_3.1.6*.orig.tar.* >/dev/null 2>&1; then
        enable_source_packages
        (cd "$src" && apt-get source --download-only openexr imath >/dev/null 2>&1)
    fi
    echo "setup: building Imath 3.1.6 and OpenEXR 3.1.5 for x86_64-w64-mingw32 (minutes, once)" >&2
    zlib=(-DZLIB_USE_STATIC_LIBS=ON -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a
          -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include)
    common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake"
            -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF -DDOCS=OFF
            -DCMAKE_INSTALL_PREFIX="$OPENEXR_PREFIX" -DCMAKE_PREFIX_PATH="$OPENEXR_PREFIX")
    rm -rf "$OPENEXR_PREFIX"
    for package in imath_3.1.6 openexr_3.1.5; do
        rm -rf "$src/tree" "$src/build"
        mkdir -p "$src/tree"
        tar -xf "$(ls "$src"/${package}*.orig.tar.* | grep -v '\.asc$' | head -n1)" -C "$src/tree" \
            --strip-components=1
        options=()
        if [ "$package" = openexr_3.1.5 ]; then
            options=("${zlib[@]}" -DOPENEXR_BUILD_TOOLS=OFF -DOPENEXR_INSTALL_TOOLS=OFF
                     -DOPENEXR_INSTALL_EXAMPLES=OFF -DOPENEXR_INSTALL_PKG_CONFIG=OFF)
        else
            options=(-DPYTHON=OFF -DIMATH_INSTALL_PKG_CONFIG=OFF)
        fi
        cmake -S "$src/tree" -B "$src/build" "${common[@]}" "${options[@]}" >/dev/null
        cmake --build "$src/build" -j"$(nproc)" >/dev/null
        cmake --install "$src/build" >/dev/null
    done
    rm -rf "$src/tree" "$src/build"
    echo "imath 3.1.6, openexr 3.1.5" > "$openexr_marker"
fi

# Shared by the set-up, run and test scripts: installs what is missing
# and builds the project into ./build.
set -euo pipefail

BRISQUEL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BRISQUEL_BUILD="${BRISQUEL_BUILD:-$BRISQUEL_ROOT/build}"

BUILD_PACKAGES=(g++ cmake ninja-build ccache lld pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev
                libcanberra-dev fonts-noto-cjk)
# The package test makes the .deb (dpkg-shlibdeps finds its dependencies,
# file tells it the binaries) and checks it with lintian.
PACKAGE_PACKAGES=(dpkg-dev file lintian)
# weston with XWayland and Qt's Wayland platform, and mutter on a session bus
# of its own: the test of desktops that place windows themselves. syncthing:
# two local instances keep two note folders in step.
TEST_PACKAGES=(xvfb xauth openbox trayer xdotool x11-utils poppler-utils python3 weston xwayland qt6-wayland
               mutter dbus-daemon syncthing "${PACKAGE_PACKAGES[@]}")
# The fuzz entry points need clang's libFuzzer and sanitizer runtimes.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)

install_packages() {
    local missing=()
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Compiles go through ccache, with paths taken relative to the clone: what
# was compiled before, in this clone or another on the same machine, is not
# compiled again. LLVM's linker links the many test programs several times
# faster than the default one.
export CCACHE_BASEDIR="$BRISQUEL_ROOT"
export CCACHE_NOHASHDIR=1
BUILD_TOOLS=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
             -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld)

build_project() {
    cmake -S "$BRISQUEL_ROOT" -B "$BRISQUEL_BUILD" -G Ninja "${BUILD_TOOLS[@]}" "$@"
    cmake --build "$BRISQUEL_BUILD"
}

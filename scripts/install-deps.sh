#!/bin/sh
# Installs the Debian packages a purpose needs: `run` what building and running the game needs,
# `windows` what cross-building, packaging and running the Windows program needs, `test` (the
# default) all of it and what the tests, benchmarks, packaging and fuzzing need.
# Only packages that are missing are installed, so running it again is harmless.
set -eu

RUN_PACKAGES="g++ cmake make libx11-dev zlib1g-dev"
# Cross-compiler with the posix thread model and zlib built for it, Wine to run the result, NSIS
# for the installer, GoogleTest's sources for the Windows tests, zlib for the icon generator.
WINDOWS_PACKAGES="g++ cmake make zlib1g-dev g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine \
wine64 nsis googletest"
TEST_PACKAGES="$RUN_PACKAGES $WINDOWS_PACKAGES pkg-config libxtst-dev libgtest-dev libgmock-dev zlib1g-dev xvfb \
xauth iproute2 util-linux clang-14 libclang-rt-14-dev dpkg-dev desktop-file-utils appstream \
man-db groff-base lintian"

case "${1:-test}" in
    run) PACKAGES=$RUN_PACKAGES ;;
    windows) PACKAGES=$WINDOWS_PACKAGES ;;
    test) PACKAGES=$TEST_PACKAGES ;;
    *) echo "usage: $0 [run|windows|test]" >&2; exit 2 ;;
esac

missing=""
for pkg in $PACKAGES; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    case "$status" in
        "install ok installed") ;;
        *) missing="$missing $pkg" ;;
    esac
done

[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
elif command -v sudo >/dev/null 2>&1; then
    SUDO="sudo"
else
    echo "Missing packages:$missing (run this script as root to install them)" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing

#!/bin/sh
# Installs the Debian packages that building, running and testing need.
# Only packages that are missing are installed, so running it again is harmless.
set -eu

PACKAGES="g++ cmake make pkg-config libx11-dev libxtst-dev libgtest-dev libgmock-dev \
zlib1g-dev xvfb xauth iproute2 util-linux clang-14 libclang-rt-14-dev \
dpkg-dev desktop-file-utils appstream man-db groff-base lintian"

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

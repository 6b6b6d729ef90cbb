#!/bin/sh
# Installs what building, testing and running Kavrel needs on Debian or
# Ubuntu, then the poster viewer's script from npm, and skips whatever is
# installed already.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)

packages="cmake ninja-build g++ clang libclang-rt-dev ffmpeg
qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core
libgtest-dev libgmock-dev libbenchmark-dev libpng-dev libmpfr-dev libopenexr-dev pkg-config
desktop-file-utils appstream man-db groff-base dpkg-dev file lintian
libvips-dev libvips-tools chromium
slurm-wlm munge parallel time"
# Node and npm from Debian, unless some other packaging of them is here.
command -v npm >/dev/null || packages="$packages nodejs npm"

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
        missing="$missing $p"
    fi
done

if [ -n "$missing" ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    echo "Installing:$missing"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
fi

# OpenSeadragon, at the version viewer/package-lock.json pins.
if [ ! -d "$repo/viewer/node_modules/openseadragon" ]; then
    echo "Installing the poster viewer's packages"
    npm ci --prefix "$repo/viewer" --no-audit --no-fund
fi

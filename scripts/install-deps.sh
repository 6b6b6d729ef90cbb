#!/bin/sh
# Installs what building, testing and running Kavrel needs on Debian or
# Ubuntu, and skips whatever is installed already.
set -eu

packages="cmake ninja-build g++ clang libclang-rt-dev ffmpeg
qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core
libgtest-dev libgmock-dev libbenchmark-dev libpng-dev libmpfr-dev libopenexr-dev pkg-config
desktop-file-utils appstream man-db groff-base dpkg-dev file lintian
slurm-wlm munge parallel time"

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
echo "Installing:$missing"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing

#!/bin/sh
# Makes the README's sample zoom video, docs/zoom-sample.mp4 (not kept in
# the repository): 20 seconds from the whole set into seahorse valley at
# 1e-12, 640x360, half a second for each halving of the radius, keyframes
# supersampled 2 x 2. Keyframes go to docs/zoom-sample-keyframes; a rerun
# reuses them.
# Usage: scripts/make-zoom-video.sh [build folder, default build]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target kavrel-render
mkdir -p docs
"$build"/tools/kavrel-render --zoom-video docs/zoom-sample.mp4 --size 640x360 --seconds-per-doubling 0.5 \
    --center -0.743643887037158704752191506114774,0.131825904205311970493132056385139 --radius 1e-12 \
    --supersample 2

#!/bin/sh
# A poster made as a user makes one, tile jobs and then the assembly into a
# Deep Zoom pyramid, checked in a browser (poster_page_test.sh) against one
# render of the whole frame.
# Usage: poster_viewer_check.sh KAVREL_RENDER WORK_DIR
set -eu
render=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work/poster"
frame="--view -0.7746,-0.7346,0.1,0.14 --iters 800 --size 2400x2000"
for i in 0 1 2 3 4 5; do
    $render $frame --tiles 3x2 --tile $i --output "$work/tiles" --threads 2
done
$render --assemble-poster "$work/tiles" --output "$work/poster/poster.dzi"
$render $frame --output "$work/poster/poster.png" --threads 2
"$here/poster_page_test.sh" "$work/poster" "$work/shots"

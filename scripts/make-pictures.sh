#!/bin/sh
# Makes the README's pictures in docs/: the window, started on Qt's offscreen
# platform with a Julia constant picked by a click, and a gallery drawn by
# kavrel-render with the commands the README shows beside them.
# Usage: scripts/make-pictures.sh [build folder, default build]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target kavrel-render window_picture
mkdir -p docs
echo "Copy > Left Frame in the window pictured gives:"
"$build"/tests/window_picture docs/screenshot.png
echo "The same window on a screen of ratio 2:"
QT_SCALE_FACTOR=2 "$build"/tests/window_picture docs/screenshot-ratio2.png
echo "Zoomed into seahorse valley to 1e-26, Copy > Right Frame and Left Frame give:"
"$build"/tests/window_picture docs/screenshot-deep.png --deep

while read -r name args; do
    # shellcheck disable=SC2086 # the arguments are meant to split
    "$build"/tools/kavrel-render $args --output "docs/gallery-$name.png"
done <<'END'
seahorse --view -0.7454,-0.7446,0.1123,0.1131 --size 240 --iters 700
cubic --set julia --power 3 --c -0.54,0.54 --view -1.3,1.3,-1.3,1.3 --size 240 --iters 300
exponent --exponent 3.5,0.25 --view -1.6,1.4,-1.5,1.5 --size 240 --iters 200
fifth --power 5 --view -1.4,1.4,-1.4,1.4 --size 240
deep --center -0.000000000000000000000000000000000000000000000000018567686206858138927252448110429341529609613287478880394324,0.999999999999999999999999999999999999999999999999998011098265951700795958845135187484726516543308103832042742 --radius 1e-100 --size 240 --iters 100000
wide --set julia --c -0.8,0.156 --view -1.6,1.6,-0.9,0.9 --size 480x270 --iters 400 --colouring smooth --density 0.7 --supersample 3
seahorse-cycle --center -0.743643887037158704752191506114774,0.131825904205311970493132056385139 --radius 1e-24 --size 240 --iters 50000 --colouring cycle
seahorse-smooth --center -0.743643887037158704752191506114774,0.131825904205311970493132056385139 --radius 1e-24 --size 240 --iters 50000
seahorse-supersampled --center -0.743643887037158704752191506114774,0.131825904205311970493132056385139 --radius 1e-24 --size 240 --iters 50000 --supersample 3
seahorse-distance --center -0.743643887037158704752191506114774,0.131825904205311970493132056385139 --radius 1e-24 --size 240 --iters 50000 --colouring distance --supersample 2
seahorse-extended --center -0.743643887037158704752191506114774,0.131825904205311970493132056385139 --radius 1e-24 --size 240 --iters 50000 --colouring extended
END
ls -l docs/*.png

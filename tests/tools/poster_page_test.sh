#!/bin/bash
# Checks a poster's page in a real browser: serves the folder over HTTP on
# the loopback, opens poster.html in headless Chromium at two views (as it
# opens, which must be the whole poster, and a deep view at one screen pixel
# per poster pixel asked for in the address's fragment) and compares each
# screenshot with the picture the pyramid was made from, cut and scaled to
# the same view.
#
# Usage: poster_page_test.sh POSTER_DIR [SHOT_DIR [DEEP_X DEEP_Y]]
#   POSTER_DIR holds poster.html, its .dzi and _files/, openseadragon/ and
#              poster.png, the full-size picture the pyramid was made from.
#   SHOT_DIR   where the screenshots, the cut-out references and the logs
#              are left (default: a new folder under /tmp, printed).
#   DEEP_X/Y   the deep view's centre in poster pixels (default: the most
#              detailed place on a 5 x 5 grid of the poster).
#
# Each view must match its reference closely (mean difference, and the worst
# 32 x 32 block), and must match the same reference shifted by a quarter of
# the view much worse: a check that a blank or blurred page could pass would
# prove nothing.
#
# Needs chromium, node, python3 and vips. Exits 0 when the page is right.
set -eu

dir=${1:?usage: poster_page_test.sh POSTER_DIR [SHOT_DIR [DEEP_X DEEP_Y]]}
out=${2:-$(mktemp -d /tmp/kavrel-poster-page.XXXXXX)}
here=$(cd "$(dirname "$0")" && pwd)
chromium=${CHROMIUM:-/usr/bin/chromium}

# The window is SIDE x SIDE. The navigator and the zoom buttons sit above row
# BAND_TOP and the title below row BAND_BOTTOM, so only the band between is
# compared.
side=800
band_top=180
band_bottom=760

# How close is close (differences on 0..255, averaged over the colours):
# JPEG tiles at quality 75 against the exact picture, and the browser's
# scaling against vips's for the whole view.
max_mean=6
max_block=80
# How much worse the shifted reference must match.
min_ratio=4
min_wrong=15
# A view drawn from a coarser level of the pyramid than it needs keeps
# about a third of the fine detail; JPEG tiles at the right level keep it all.
min_detail=0.7

fail() {
    echo "FAIL: $*" >&2
    echo "The screenshots and references are in $out" >&2
    exit 1
}

for tool in "$chromium" node python3 vips vipsheader; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
done
mkdir -p "$out"
for f in poster.html poster.png openseadragon/openseadragon.min.js; do
    [ -e "$dir/$f" ] || fail "$dir/$f is missing"
done

server_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
    rm -f "$out"/*.v
}
trap cleanup EXIT

# The reference, flattened onto the page's background where it has an alpha
# channel, in vips's own format so that cutting it up does not decode it
# again each time.
bands=$(vipsheader -f bands "$dir/poster.png")
if [ "$bands" = 2 ] || [ "$bands" = 4 ]; then
    vips flatten "$dir/poster.png" "$out/ref.v" --background "17 17 17"
else
    vips copy "$dir/poster.png" "$out/ref.v"
fi
W=$(vipsheader -f width "$out/ref.v")
H=$(vipsheader -f height "$out/ref.v")
[ "$W" -ge $((2 * side)) ] && [ "$H" -ge "$side" ] ||
    fail "poster.png is ${W}x$H: a deep view needs at least $((2 * side)) x $side pixels"

# Arithmetic with awk; the parentheses keep a ">" from redirecting printf.
calc() { awk "BEGIN { printf \"%.17g\", ($1) }"; }
round() { awk "BEGIN { v = ($1); printf \"%d\", (v >= 0 ? int(v + 0.5) : -int(0.5 - v)) }"; }

# The deep view's centre: given, or where a 5 x 5 grid of the poster varies
# most (on a copy an eighth the size, which is plenty to tell).
if [ $# -ge 4 ]; then
    deep_cx=$3
    deep_cy=$4
else
    vips resize "$out/ref.v" "$out/small.v" 0.125
    sw=$(vipsheader -f width "$out/small.v")
    sh=$(vipsheader -f height "$out/small.v")
    cw=$((side / 8))
    ch=$(((band_bottom - band_top) / 8))
    best=-1
    for i in 0 1 2 3 4; do
        for j in 0 1 2 3 4; do
            cx=$(round "$W * ($i + 0.5) / 5")
            cy=$(round "$H * ($j + 0.5) / 5")
            # Clamped so that the whole window lies on the poster.
            cx=$(round "$cx < $side / 2 ? $side / 2 : ($cx > $W - $side / 2 ? $W - $side / 2 : $cx)")
            cy=$(round "$cy < $side / 2 ? $side / 2 : ($cy > $H - $side / 2 ? $H - $side / 2 : $cy)")
            left=$(round "($cx - $side / 2) / 8")
            top=$(round "($cy - $side / 2 + $band_top) / 8")
            [ $((left + cw)) -le "$sw" ] || left=$((sw - cw))
            [ $((top + ch)) -le "$sh" ] || top=$((sh - ch))
            vips crop "$out/small.v" "$out/cell.v" "$left" "$top" "$cw" "$ch"
            d=$(vips deviate "$out/cell.v")
            if awk "BEGIN { exit !($d > $best) }"; then
                best=$d
                deep_cx=$cx
                deep_cy=$cy
            fi
        done
    done
fi

# The views, in the page's coordinates: the poster is 1 wide, and the window
# being square shows w x w of them.
whole_w=$(calc "$H > $W ? $H / $W : 1")
whole_x=0.5
whole_y=$(calc "$H / $W / 2")
deep_w=$(calc "$side / $W")
deep_x=$(calc "$deep_cx / $W")
deep_y=$(calc "$deep_cy / $W")
echo "poster ${W}x$H; whole view x=$whole_x y=$whole_y w=$whole_w;" \
     "deep view at pixel $deep_cx,$deep_cy: x=$deep_x y=$deep_y w=$deep_w"

# A free port, chosen by the server itself and read from what it prints.
python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$dir" >"$out/server.log" 2>&1 &
server_pid=$!
port=""
for _ in $(seq 50); do
    port=$(sed -n 's/^Serving HTTP on 127\.0\.0\.1 port \([0-9]*\).*/\1/p' "$out/server.log")
    [ -n "$port" ] && break
    kill -0 "$server_pid" 2>/dev/null || fail "the HTTP server stopped: $(cat "$out/server.log")"
    sleep 0.1
done
[ -n "$port" ] || fail "the HTTP server did not say its port"

timeout 300 node "$here/poster_page_shot.mjs" "$chromium" "http://127.0.0.1:$port/poster.html" "$out" "$side" \
    "whole=@#x=$whole_x&y=$whole_y&w=$whole_w" "deep=#x=$deep_x&y=$deep_y&w=$deep_w" ||
    fail "the page did not show the views it was asked for (see above, and $out/chromium.log)"

# Prints "MEAN WORST_BLOCK" of the difference of two pictures of one size.
difference() {
    vips subtract "$1" "$2" "$out/d.v"
    vips abs "$out/d.v" "$out/a.v"
    vips bandmean "$out/a.v" "$out/m.v"
    vips shrink "$out/m.v" "$out/b.v" 32 32
    echo "$(vips avg "$out/m.v") $(vips max "$out/b.v")"
}

# Prints how much fine detail a picture has: the mean difference of its grey
# levels from a blurred copy.
fine_detail() {
    vips colourspace "$1" "$out/g.v" b-w
    vips gaussblur "$out/g.v" "$out/gb.v" 1
    vips subtract "$out/g.v" "$out/gb.v" "$out/gd.v"
    vips abs "$out/gd.v" "$out/ga.v"
    vips avg "$out/ga.v"
}

# Compares the screenshot NAME.png with the reference cut to the view at X, Y
# with width WV, where the view lies on the poster and inside the band.
compare() {
    local name=$1 x=$2 y=$3 wv=$4
    local s ox oy sx0 sx1 sy0 sy1 cw ch rl rt rw rh shift
    s=$(calc "$wv * $W / $side")                # poster pixels a screen pixel
    ox=$(calc "$x * $W - $side / 2 * $s")       # poster x at the window's left
    oy=$(calc "$y * $W - $side / 2 * $s")
    sx0=$(awk "BEGIN { v = -($ox) / $s; v = v > int(v) ? int(v) + 1 : int(v); print (v < 0 ? 0 : v) }")
    sx1=$(awk "BEGIN { v = int(($W - ($ox)) / $s); print (v > $side ? $side : v) }")
    sy0=$(awk "BEGIN { v = -($oy) / $s; v = v > int(v) ? int(v) + 1 : int(v); print (v < $band_top ? $band_top : v) }")
    sy1=$(awk "BEGIN { v = int(($H - ($oy)) / $s); print (v > $band_bottom ? $band_bottom : v) }")
    cw=$((sx1 - sx0))
    ch=$((sy1 - sy0))
    [ "$cw" -ge 100 ] && [ "$ch" -ge 100 ] || fail "$name: only ${cw}x$ch pixels of the poster to compare"
    rl=$(round "($ox) + $sx0 * $s")
    rt=$(round "($oy) + $sy0 * $s")
    rw=$(round "$cw * $s")
    rh=$(round "$ch * $s")
    [ $((rl + rw)) -le "$W" ] || rw=$((W - rl))
    [ $((rt + rh)) -le "$H" ] || rh=$((H - rt))

    vips crop "$out/$name.png" "$out/$name-shot.v" "$sx0" "$sy0" "$cw" "$ch"
    # The reference cut as the view was, and cut a quarter of the view to the
    # right, from a copy widened by repeating its edges.
    shift=$(round "$cw / 4 * $s")
    vips embed "$out/ref.v" "$out/wide.v" 0 0 $((W + shift)) "$H" --extend copy
    vips crop "$out/ref.v" "$out/$name-ref-cut.v" "$rl" "$rt" "$rw" "$rh"
    vips crop "$out/wide.v" "$out/$name-wrong-cut.v" $((rl + shift)) "$rt" "$rw" "$rh"
    for kind in ref wrong; do
        if [ "$rw" -eq "$cw" ] && [ "$rh" -eq "$ch" ]; then
            vips copy "$out/$name-$kind-cut.v" "$out/$name-$kind.png"
        else
            vips thumbnail "$out/$name-$kind-cut.v" "$out/$name-$kind.png" "$cw" --height "$ch" --size force
        fi
    done
    vips crop "$out/$name.png" "$out/$name-shot.png" "$sx0" "$sy0" "$cw" "$ch"

    local good wrong detail
    good=$(difference "$out/$name-shot.v" "$out/$name-ref.png")
    wrong=$(difference "$out/$name-shot.v" "$out/$name-wrong.png")
    detail=$(calc "$(fine_detail "$out/$name-shot.v") / $(fine_detail "$out/$name-ref.png")")
    set -- $good $wrong "$detail"
    printf '%s: screen %sx%s at %s,%s from poster %sx%s at %s,%s: difference %.2f (worst block %.2f); shifted a quarter: %.2f (worst block %.2f); fine detail %.2f of the poster'"'"'s\n' \
        "$name" "$cw" "$ch" "$sx0" "$sy0" "$rw" "$rh" "$rl" "$rt" "$1" "$2" "$3" "$4" "$5"
    awk "BEGIN { exit !($1 <= $max_mean) }" ||
        fail "$name: the page differs from the poster by $1 on average (at most $max_mean)"
    awk "BEGIN { exit !($2 <= $max_block) }" ||
        fail "$name: a block of the page differs from the poster by $2 (at most $max_block)"
    awk "BEGIN { exit !($3 >= $min_wrong && $3 >= $min_ratio * $1) }" ||
        fail "$name: the shifted view differs by only $3, against $1: too little detail here to tell a wrong view"
    awk "BEGIN { exit !($5 >= $min_detail) }" ||
        fail "$name: the page has $5 of the poster's fine detail (at least $min_detail): tiles of a coarser level?"
}

compare whole "$whole_x" "$whole_y" "$whole_w"
compare deep "$deep_x" "$deep_y" "$deep_w"
echo "The page shows the poster right; screenshots in $out"

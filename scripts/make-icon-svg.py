#!/usr/bin/env python3
"""Writes desktop/org.kavrel.Kavrel.svg, the scalable launcher icon.

The same frame as the rendered icons (the plane from -2.2 to 0.8 across,
-1.5 to 1.5 up), drawn with vector shapes: the escape bands as discs about
the set, the main cardioid, the period-2 disc, the larger bulbs on both
(placed where they touch their parent, with the usual size estimates) and
the antenna, in the palette's colours. Run it from the top of the tree.
"""
import cmath
import math

SIDE = 256
XMIN, XMAX, YMAX = -2.2, 0.8, 1.5
SCALE = SIDE / (XMAX - XMIN)


def pt(c):
    return (c.real - XMIN) * SCALE, (YMAX - c.imag) * SCALE


def fmt(v):
    return f"{v:.2f}".rstrip("0").rstrip(".")


def cardioid(samples=240):
    points = []
    for i in range(samples):
        t = 2 * math.pi * i / samples
        w = cmath.exp(1j * t)
        x, y = pt(w / 2 - w * w / 4)
        points.append(f"{fmt(x)},{fmt(y)}")
    return "M" + " L".join(points) + " Z"


def circle(centre, radius, colour, extra=""):
    x, y = pt(centre)
    return f'<circle cx="{fmt(x)}" cy="{fmt(y)}" r="{fmt(radius * SCALE)}" fill="{colour}"{extra}/>'


def cardioid_bulbs():
    """The p/q bulbs on the cardioid for q up to 7: a disc of radius about
    sin(pi p/q) / q^2 touching the cardioid at the angle 2 pi p/q."""
    out = []
    for q in range(3, 8):
        for p in range(1, q):
            if math.gcd(p, q) != 1:
                continue
            t = 2 * math.pi * p / q
            w = cmath.exp(1j * t)
            root = w / 2 - w * w / 4
            # The curve's derivative is i (w - w^2) / 2: without the i, it
            # points outwards.
            normal = (w - w * w) / abs(w - w * w)
            r = math.sin(math.pi * p / q) / (q * q)
            out.append((root + normal * r, r))
    return out


def disc_bulbs():
    """Bulbs on the period-2 disc (centre -1, radius 1/4), period 2q."""
    out = []
    for q in range(2, 5):
        for p in range(1, q):
            if math.gcd(p, q) != 1:
                continue
            a = math.pi + 2 * math.pi * p / q
            r = 0.25 * math.sin(math.pi * p / q) / (q * q)
            out.append((-1 + cmath.exp(1j * a) * (0.25 + r), r))
    return out


def main():
    bands = [(2.0, "#ffdfd8"), (1.75, "#ffe0cb"), (1.45, "#fee1bd"),
             (1.2, "#fee2b0"), (1.0, "#fee4a2"), (0.85, "#fde688")]
    shapes = []
    # The escape bands: rings about the set's middle, largest first.
    for r, colour in bands:
        shapes.append(circle(complex(-0.6, 0), r, colour))
    body = [f'<path d="{cardioid()}"/>', circle(-1, 0.25, "#000")]
    body += [circle(c, r, "#000") for c, r in cardioid_bulbs() + disc_bulbs()]
    x0, y = pt(complex(-2.0, 0))
    x1, _ = pt(complex(-1.25, 0))
    body.append(f'<path d="M{fmt(x0)},{fmt(y)} H{fmt(x1)}" stroke="#000" stroke-width="1.5"/>')
    svg = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        "<!-- Made by scripts/make-icon-svg.py; edit that instead. -->",
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{SIDE}" height="{SIDE}" viewBox="0 0 {SIDE} {SIDE}">',
        f'<rect width="{SIDE}" height="{SIDE}" fill="#ffffff"/>',
        *shapes,
        # A bright rim where the counts climb, then the set itself in black.
        '<g fill="#caf32b" stroke="#caf32b" stroke-width="5" stroke-linejoin="round">',
        *body,
        "</g>",
        '<g fill="#000">',
        *body,
        "</g>",
        "</svg>",
    ]
    with open("desktop/org.kavrel.Kavrel.svg", "w") as f:
        f.write("\n".join(svg) + "\n")


if __name__ == "__main__":
    main()

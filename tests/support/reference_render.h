#pragma once

#include <complex>
#include <cstdlib>
#include <tuple>
#include <utility>
#include <vector>

// An independent reading of the rules for the integer powers z^2, z^3, z^5
// and z^10 and the complex power (power 0, exponent er + ei i): escape counts, the colour curve and the quartering scheme, written
// apart from the engine so that a fault shared by the engine's pieces still
// shows. Every formula is grouped as the rules write it: the counts are
// compared bit for bit.
struct ReferenceRender {
    int power;  // 2, 3, 5 or 10; 0 for z^(er + ei i)
    bool julia;
    double cr, ci, xmin, ymax, xpxl, ypxl;
    int limit;
    int side;  // pixels across
    int height = side;
    std::vector<int> out = std::vector<int>(static_cast<std::size_t>(side) * height, -1);
    std::vector<int> counts = std::vector<int>(out.size(), -1);  // the escape count behind each index
    double er = 2.0, ei = 0.0;

    static double newton(double v, bool cube)
    {
        double x = 50.0;
        for (int i = 0; i < 10; ++i)
            x = cube ? x - ((x * x) * x - v) / ((3.0 * x) * x) : x - (x * x - v) / (2.0 * x);
        return x;
    }
    int index(int k) const
    {
        if (k <= 1)
            return 0;
        if (k == limit)
            return 499;
        if (k <= 50)
            return k;
        const double s = newton(0.125, false), p = 1.0 / ((s * s) * s);
        const int i = static_cast<int>((newton((k - 50) + p, true) * 24 + 50.0) - newton(p, true) * 24.0);
        return i > 499 ? 499 : i;
    }
    // One pass from (x, y): false, leaving (x, y) alone, when the point has escaped.
    bool pass(double& x, double& y, double a, double b) const
    {
        const double x2 = x * x, x3 = x2 * x, x4 = x3 * x, x5 = x4 * x, x8 = x4 * x4;
        const double y2 = y * y, y3 = y2 * y, y4 = y3 * y, y5 = y4 * y, y8 = y4 * y4;
        double nx, ny;
        switch (power) {
        case 2:
            if ((x2 + y2) - 4.0 > 0.0)
                return false;
            nx = x2 - (y2 - a);
            ny = y * (2.0 * x) + b;
            break;
        case 3:
            if (y2 + x2 > 4.0)
                return false;
            nx = (x3 + a) - 3.0 * (x * y2);
            ny = 3.0 * (y * x2) + (b - y3);
            break;
        case 5:
            if (x2 + y2 > 4.0)
                return false;
            nx = (-10.0 * (x3 * y2) + a) + (5.0 * (y4 * x) + x5);
            ny = (5.0 * (x4 * y) + y5) + (-10.0 * (y3 * x2) + b);
            break;
        default:
            if (x2 + y2 > 4.0)
                return false;
            nx = (((210.0 * x4) * y4) * (x2 - y2) + a) + ((x2 - 45.0 * y2) * x8 + y8 * (45.0 * x2 - y2));
            ny = ((-120.0 * x3) * y3) * (x4 + y4) + (((10.0 * x) * y) * (x8 + y8) + ((252.0 * x5) * y5 + b));
        }
        x = nx;
        y = ny;
        return true;
    }
    // The complex power tests the modulus before each pass, so the pass that
    // made the escaped point is counted; zero is never raised to a power.
    int complexPasses(double x, double y, double a, double b) const
    {
        std::complex<double> z(x, y);
        double modulus = 0.0;
        int passes = 0;
        for (; passes < limit && modulus < 2.0; ++passes) {
            modulus = std::abs(z);
            if (modulus != 0.0)
                z = std::pow(z, std::complex<double>(er, ei));
            z += std::complex<double>(a, b);
        }
        return passes;
    }
    std::pair<int, int> at(int col, int row) const  // (count, index)
    {
        const double re = col * xpxl + xmin, im = ymax - row * ypxl;
        double x = julia ? re : 0.0, y = julia ? im : 0.0;
        const double a = julia ? cr : re, b = julia ? ci : im;
        int k = 0;
        if (power == 0)
            k = complexPasses(x, y, a, b);
        else
            while (k < limit && pass(x, y, a, b))
                ++k;
        const int count = k <= 1 ? 0 : k;
        return {count, index(k)};
    }
    bool block(int l, int t, int r, int b, bool outlineOnly)
    {
        if (!outlineOnly) {
            for (int y = t; y < b; ++y)
                for (int x = l; x < r; ++x)
                    std::tie(counts[y * side + x], out[y * side + x]) = at(x, y);
            return true;
        }
        auto last = at(l, t);
        // Rows as far as the block is high, unless it is more than a pixel
        // wider or narrower than high: then across its width.
        const int across = std::abs((r - l) - (b - t)) > 1 ? r - l : b - t;
        for (int i = 0; i < std::max(across, b - t); ++i) {
            std::vector<std::pair<int, int>> step;
            if (i < across)
                step.insert(step.end(), {{l + i, t}, {l + i, b}});
            if (i < b - t)
                step.insert(step.end(), {{r, t + i}, {l, t + i}});
            for (auto [x, y] : step) {
                const auto e = at(x, y);
                if (e.first != last.first)
                    return false;
                last = e;
            }
        }
        for (int y = t; y < b; ++y)
            for (int x = l; x < r; ++x)
                std::tie(counts[y * side + x], out[y * side + x]) = last;
        return true;
    }
    void grid(int l, int t, int r, int b)
    {
        const int hx = (r - l) / 2, hy = (b - t) / 2, mx = l + hx, my = t + hy;
        const int q[4][4] = {{l, t, mx, my}, {mx, t, r, my}, {l, my, mx, b}, {mx, my, r, b}};
        for (const auto& s : q)
            if (!block(s[0], s[1], s[2], s[3], true) && !((hx <= 20 || hy <= 20) && block(s[0], s[1], s[2], s[3], false)))
                grid(s[0], s[1], s[2], s[3]);
    }
};

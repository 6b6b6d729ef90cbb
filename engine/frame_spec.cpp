#include "engine/frame_spec.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

JuliaConstant juliaOfDoubles(double re, double im) { return {re, im, exactDecimal(re), exactDecimal(im)}; }

JuliaConstant juliaOfDecimals(const std::string& re, const std::string& im)
{
    // strtod rounds to the nearest double, and overflows to an infinity.
    return {std::strtod(re.c_str(), nullptr), std::strtod(im.c_str(), nullptr), re, im};
}

int integerPower(const IterFunc& f)
{
    static constexpr int powers[] = {2, 3, 5, 10};
    return f.which >= 1 && f.which <= 4 ? powers[f.which - 1] : 0;
}

bool doublesSuffice(const PlaneView& v, std::int32_t width, std::int32_t height)
{
    double edge = 0.0;
    for (const double bound : {v.Xmin, v.Xmax, v.Ymin, v.Ymax}) {
        if (!std::isfinite(bound))
            return false;
        edge = std::max(edge, std::fabs(bound));
    }
    for (const double pixel : {pixelSize(v.Xmin, v.Xmax, width), pixelSize(v.Ymin, v.Ymax, height)})
        if (!(pixel >= kPlaneMargin * edge && pixel >= kPlaneFloor && std::isfinite(pixel)))
            return false;
    return true;
}

std::string exactDecimal(double v)
{
    // The exact value of a double has at most 1074 digits after the point,
    // and glibc prints them all.
    std::vector<char> text(1500);
    const int n = std::snprintf(text.data(), text.size(), "%.1080f", v);
    std::string s(text.data(), static_cast<std::size_t>(n));
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.')
        s.pop_back();
    return s;
}

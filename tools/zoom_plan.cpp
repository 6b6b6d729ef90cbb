#include "tools/zoom_plan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

#include "engine/deep/decimal.h"
#include "engine/deep/deep_frame.h"

namespace {

// R0 / 2^i as a decimal of 25 significant digits: the radii of keyframes
// next to each other differ by a factor of 2 to far below a pixel.
std::string halved(const std::string& r0, int i)
{
    BigFloat r = readDecimal(r0, 128);
    mpfr_div_2si(r.get(), r.get(), i, MPFR_RNDN);
    mpfr_exp_t e = 0;
    char* digits = mpfr_get_str(nullptr, &e, 10, 25, r.get(), MPFR_RNDN);
    std::string text = std::string("0.") + digits + "e" + std::to_string(e);
    mpfr_free_str(digits);
    return text;
}

const char* setName(const FrameSpec& f) { return f.julia() ? "julia" : "mandelbrot"; }

} // namespace

double halvings(const ZoomPlan& plan) { return radiusLog2(plan.zoomFrom) - radiusLog2(plan.frame.deepView().radius); }

int keyframeCount(const ZoomPlan& plan)
{
    // The last keyframe is the first at or below R_END (up to rounding of
    // the logarithms, which a radius typed as R0 / 2^n must not suffer).
    return static_cast<int>(std::ceil(halvings(plan) - 1e-9)) + 1;
}

FrameSpec keyframe(const ZoomPlan& plan, int i)
{
    FrameSpec f = plan.frame;
    f.width *= 2;
    f.height *= 2;
    DeepView& view = std::get<DeepView>(f.view);
    view.radius = halved(plan.zoomFrom, i);
    if (plan.autoIters)
        f.maxIters = deepAutoIters(view.radius);
    return f;
}

std::int64_t frameCount(const ZoomPlan& plan)
{
    return std::max<std::int64_t>(2, std::llround(halvings(plan) * plan.secondsPerDoubling * plan.fps) + 1);
}

double frameDepth(const ZoomPlan& plan, std::int64_t k)
{
    const std::int64_t last = frameCount(plan) - 1;
    return k >= last ? halvings(plan) : halvings(plan) * static_cast<double>(k) / static_cast<double>(last);
}

std::string keyframeFile(int i)
{
    char name[32];
    std::snprintf(name, sizeof name, "keyframe-%06d.png", i);
    return name;
}

namespace {

std::vector<std::pair<std::string, std::string>> manifestLines(const ZoomPlan& p)
{
    const FrameSpec& f = p.frame;
    std::vector<std::pair<std::string, std::string>> lines{
        {"center", f.deepView().re + "," + f.deepView().im},
        {"set", setName(f)},
        {"power", std::to_string(integerPower(f.func))},
        {"c", f.julia() ? f.c.reText + "," + f.c.imText : "-"},
        {"zoom-from", p.zoomFrom},
        {"radius", f.deepView().radius},
        {"size", std::to_string(f.width) + "x" + std::to_string(f.height)},
        {"iters", p.autoIters ? "auto" : std::to_string(f.maxIters)},
        {"colouring", colouringName(p.look.colouring)},
        {"density", exactNumber(p.look.density)},
        {"palette", p.look.palette.empty() ? "-" : p.look.palette},
        {"supersample", std::to_string(p.look.supersample)},
        {"fps", std::to_string(p.fps)},
        {"seconds-per-doubling", exactNumber(p.secondsPerDoubling)},
    };
    return lines;
}

} // namespace

std::string manifestText(const ZoomPlan& plan)
{
    std::string text = "kavrel-render zoom video keyframes\n";
    for (const auto& [key, value] : manifestLines(plan))
        text += key + " " + value + "\n";
    return text;
}

std::string manifestDifference(const ZoomPlan& a, const ZoomPlan& b)
{
    const auto la = manifestLines(a), lb = manifestLines(b);
    for (std::size_t i = 0; i < la.size(); ++i)
        if (la[i] != lb[i])
            return la[i].first + " " + la[i].second + " (the folder's: " + lb[i].second + ")";
    return {};
}

std::optional<ZoomPlan> readManifest(const std::string& text, std::string* error)
{
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != "kavrel-render zoom video keyframes") {
        *error = "not a keyframe manifest";
        return std::nullopt;
    }
    ZoomPlan p;
    p.frame.view = DeepView{};
    std::vector<std::pair<std::string, std::string>> seen;
    while (std::getline(in, line)) {
        const auto space = line.find(' ');
        if (space == std::string::npos) {
            *error = "a line without a value: '" + line + "'";
            return std::nullopt;
        }
        seen.emplace_back(line.substr(0, space), line.substr(space + 1));
    }
    const auto value = [&](const std::string& key) -> std::string {
        for (const auto& [k, v] : seen)
            if (k == key)
                return v;
        return {};
    };
    const auto pair = [](const std::string& v, std::string& a, std::string& b) {
        const auto comma = v.find(',');
        if (comma == std::string::npos)
            return false;
        a = v.substr(0, comma);
        b = v.substr(comma + 1);
        return isDecimal(a) && isDecimal(b);
    };
    try {
        DeepView& view = std::get<DeepView>(p.frame.view);
        const std::string set = value("set"), power = value("power"), iters = value("iters"), size = value("size");
        const int pw = std::stoi(power);
        const bool ok =
            pair(value("center"), view.re, view.im) && isDecimal(value("radius")) && isDecimal(value("zoom-from")) &&
            (set == "mandelbrot" || set == "julia") && (pw == 2 || pw == 3 || pw == 5 || pw == 10) &&
            size.find('x') != std::string::npos;
        if (!ok) {
            *error = "a missing or malformed line";
            return std::nullopt;
        }
        view.radius = value("radius");
        p.zoomFrom = value("zoom-from");
        p.frame.FuncSwitch = set == "julia" ? kJulia : kMandelbrot;
        const std::int16_t which = pw == 2 ? 1 : pw == 3 ? 2 : pw == 5 ? 3 : 4;
        p.frame.func = {which, static_cast<double>(pw), 0.0};
        if (p.frame.julia()) {
            std::string re, im;
            if (!pair(value("c"), re, im)) {
                *error = "a Julia set without its constant";
                return std::nullopt;
            }
            p.frame.c = juliaOfDecimals(re, im);
        }
        p.frame.width = std::stoi(size.substr(0, size.find('x')));
        p.frame.height = std::stoi(size.substr(size.find('x') + 1));
        p.autoIters = iters == "auto";
        p.frame.maxIters = p.autoIters ? deepAutoIters(view.radius) : std::stoi(iters);
        p.look.density = std::stod(value("density"));
        p.look.palette = value("palette") == "-" ? std::string() : value("palette");
        p.look.supersample = std::stoi(value("supersample"));
        p.fps = std::stoi(value("fps"));
        p.secondsPerDoubling = std::stod(value("seconds-per-doubling"));
        bool known = false;
        for (const Colouring rule :
             {Colouring::Curve, Colouring::Cycle, Colouring::Extended, Colouring::Smooth, Colouring::Distance})
            if (value("colouring") == colouringName(rule)) {
                p.look.colouring = rule;
                known = true;
            }
        if (!known || p.frame.width < 2 || p.frame.height < 2 || p.fps < 1 || p.look.supersample < 1 ||
            p.look.supersample > 16 || !(p.secondsPerDoubling > 0.0) || p.frame.maxIters < 1 ||
            !(halvings(p) > 0.0)) {
            *error = "a value out of range";
            return std::nullopt;
        }
    } catch (const std::exception&) {
        *error = "a malformed number";
        return std::nullopt;
    }
    // Whatever was read must write back as it stands.
    if (manifestText(p) != text) {
        *error = "lines this program does not write";
        return std::nullopt;
    }
    return p;
}

#include "commands/validate.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr std::size_t kPartChars = 9;

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool inExponentRange(float v) { return v >= -99.99 && v <= 99.99; }

} // namespace

int readIterCount(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    long value = 0;
    const std::size_t firstDigit = i;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kMaxIters)
            return 0;
    }
    const bool hadDigits = i > firstDigit;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    if (!hadDigits || i != text.size() || value < kMinIters)
        return 0;
    return static_cast<int>(value);
}

double roundToHundredths(float v)
{
    const auto m = static_cast<int>((std::fabs(v) + 0.005) * 100);
    return (v < 0 ? -m : m) * 0.01;
}

std::optional<double> readRealPart(const std::string& typed)
{
    const std::string text = typed.substr(0, kPartChars);
    float newVal = 0.0f;
    if (text.empty() || std::sscanf(text.c_str(), "%f", &newVal) != 1 || !inExponentRange(newVal))
        return std::nullopt;
    return roundToHundredths(newVal);
}

std::optional<double> readComplexPart(const std::string& typed)
{
    const std::string text = typed.substr(0, kPartChars);
    if (text.empty())
        return std::nullopt;
    const double value = std::atof(text.c_str());
    if (value == 0.0) {
        // atof reads any text that is no number at all as zero too.
        for (char c : text)
            if (c != '0' && c != '+' && c != '-' && c != '.' && !isBlank(c))
                return std::nullopt;
    }
    // Far outside the range; also keeps the conversion to float defined.
    if (!(std::fabs(value) < 1000.0))
        return std::nullopt;
    const auto newVal = static_cast<float>(value);
    if (!inExponentRange(newVal))
        return std::nullopt;
    return roundToHundredths(newVal);
}

std::string formatExponent(double v)
{
    char initVal[16];
    std::snprintf(initVal, sizeof initVal, "%3.2f", v);
    return initVal;
}

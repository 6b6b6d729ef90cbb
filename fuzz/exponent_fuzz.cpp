// Any text typed as a part of the complex exponent, read as the real part and
// as the imaginary part. Only the first nine characters count; an accepted
// part is a whole number of hundredths from -99.99 to 99.99; a number typed
// plainly with at most two decimals is taken as typed; after it, characters
// that cannot continue a number change nothing in the real part, and in the
// imaginary part they are allowed only when the number is not zero (or they
// are signs and blanks).
#include <cmath>
#include <cstdint>
#include <optional>
#include <regex>
#include <string>

#include "commands/validate.h"
#include "fuzz/check.h"

namespace {

bool isHundredths(double v)
{
    const double m = std::round(v * 100);
    return std::fabs(m) <= 9999 && v == m * 0.01;
}

void checkPart(const char* which, const std::string& text, const std::optional<double>& got,
               const std::optional<double>& firstNine)
{
    FUZZ_CHECK(got == firstNine, "%s part of '%s' depends on more than nine characters", which, text.c_str());
    if (got)
        FUZZ_CHECK(isHundredths(*got), "%s part of '%s' gave %.17g", which, text.c_str(), *got);
}

// Hundredths of a plainly typed number: blanks, a sign, one or two digits,
// a point and up to two decimals; then the rest of the nine characters.
struct Plain {
    long hundredths;
    std::string rest;
};

std::optional<Plain> plainNumber(const std::string& nine)
{
    static const std::regex form(R"(^ *([+-]?)([0-9]{1,2})(?:\.([0-9]{0,2}))?(.*)$)");
    std::smatch m;
    if (!std::regex_match(nine, m, form))
        return std::nullopt;
    std::string decimals = m[3].str();
    decimals.resize(2, '0');
    long hundredths = std::stol(m[2].str()) * 100 + std::stol(decimals);
    if (m[1].str() == "-")
        hundredths = -hundredths;
    return Plain{hundredths, m[4].str()};
}

// Characters after which no number can go on in either conversion.
bool endsANumber(const std::string& rest)
{
    return !rest.empty() && rest.find_first_of("eExXpP0123456789.") == std::string::npos
           && rest.find('\0') == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string nine = text.substr(0, 9);
    const auto re = readRealPart(text), im = readComplexPart(text);
    checkPart("real", text, re, readRealPart(nine));
    checkPart("imaginary", text, im, readComplexPart(nine));

    const auto plain = plainNumber(nine);
    if (!plain || (!plain->rest.empty() && !endsANumber(plain->rest)))
        return 0;
    const double typed = plain->hundredths * 0.01;
    FUZZ_CHECK(re == typed, "real part of '%s' is not %.2f as typed", text.c_str(), typed);
    // A zero may be followed only by signs and blanks.
    if (plain->hundredths != 0 || plain->rest.find_first_not_of("+- \t") == std::string::npos)
        FUZZ_CHECK(im == typed, "imaginary part of '%s' is not %.2f as typed", text.c_str(), typed);
    else
        FUZZ_CHECK(!im, "imaginary part '%s' is zero followed by other characters", text.c_str());
    return 0;
}

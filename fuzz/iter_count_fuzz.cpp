// Any text typed as a custom iteration count. The dialog accepts exactly the
// texts made of digits, with blanks around them, worth 10 to 99000, and
// gives their value.
#include <cstdint>
#include <string>

#include "commands/validate.h"
#include "fuzz/check.h"

namespace {

// The rule read on its own: the value of blanks, digits, blanks, capped at a
// million; -1 for any other text.
long long ruleValue(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return -1;
    const std::string digits = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    if (digits.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    const auto significant = digits.find_first_not_of('0');
    if (significant == std::string::npos)
        return 0;
    if (digits.size() - significant > 7)
        return 1000000;
    return std::stoll(digits.substr(significant));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const long long value = ruleValue(text);
    const int expected = value >= kMinIters && value <= kMaxIters ? static_cast<int>(value) : 0;
    const int got = readIterCount(text);
    FUZZ_CHECK(got == expected, "'%s' gave %d, the rule gives %d", text.c_str(), got, expected);
    return 0;
}

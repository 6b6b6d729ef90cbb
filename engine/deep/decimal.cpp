#include "engine/deep/decimal.h"

#include <string>

namespace {

bool isDigit(char ch) { return ch >= '0' && ch <= '9'; }

} // namespace

bool isDecimal(std::string_view text)
{
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        if (isDigit(text[i]))
            ++digits;
        else if (text[i] == '.' && !point)
            point = true;
        else
            break;
    }
    if (digits == 0)
        return false;
    if (i == text.size())
        return true;
    if (text[i] != 'e' && text[i] != 'E')
        return false;
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    const std::size_t expStart = i;
    while (i < text.size() && isDigit(text[i]))
        ++i;
    return i > expStart && i == text.size();
}

mpfr_prec_t decimalBits(std::string_view text)
{
    std::size_t digits = 0;
    for (char ch : text) {
        if (ch == 'e' || ch == 'E')
            break;
        digits += isDigit(ch) ? 1 : 0;
    }
    return static_cast<mpfr_prec_t>(digits * 10 / 3 + 64);
}

BigFloat readDecimal(std::string_view text, mpfr_prec_t atLeast)
{
    const mpfr_prec_t bits = decimalBits(text);
    BigFloat v(bits > atLeast ? bits : atLeast);
    const std::string s(text);
    mpfr_strtofr(v.get(), s.c_str(), nullptr, 10, MPFR_RNDN);
    return v;
}

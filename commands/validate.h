#pragma once

#include <optional>
#include <string>

// The rules for what the two input dialogs accept.

constexpr int kMinIters = 10;
constexpr int kMaxIters = 99000;

// A custom iteration count: digits only (blanks around them allowed), read as
// an unsigned decimal number, from 10 to 99000. Anything else gives 0.
int readIterCount(const std::string& text);

// A part of the complex exponent, -99.99 to 99.99, as typed: at most its
// first nine characters are read and parsed in single precision, then
// brought to two decimals with halves away from zero. Empty when rejected.
// The real part is scanned as a number followed by anything; the imaginary
// part is converted as a whole, and a text that converts to zero must consist
// of "0", "+", "-", "." and blanks only.
std::optional<double> readRealPart(const std::string& text);
std::optional<double> readComplexPart(const std::string& text);

// m = trunc((|v| + 0.005) * 100) with v's sign; the part is m * 0.01.
double roundToHundredths(float v);

// An exponent part as the dialog shows it, "%3.2f".
std::string formatExponent(double v);

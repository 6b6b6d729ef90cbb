#pragma once

#include <mpfr.h>

#include <string_view>

// One MPFR number that frees itself.
class BigFloat {
public:
    explicit BigFloat(mpfr_prec_t bits)
    {
        mpfr_init2(v_, bits);
        mpfr_set_zero(v_, 1);
    }
    BigFloat(const BigFloat& other) : BigFloat(mpfr_get_prec(other.v_)) { mpfr_set(v_, other.v_, MPFR_RNDN); }
    BigFloat& operator=(const BigFloat& other)
    {
        if (this != &other) {
            mpfr_set_prec(v_, mpfr_get_prec(other.v_));
            mpfr_set(v_, other.v_, MPFR_RNDN);
        }
        return *this;
    }
    ~BigFloat() { mpfr_clear(v_); }

    mpfr_ptr get() { return v_; }
    mpfr_srcptr get() const { return v_; }

private:
    mpfr_t v_;
};

// A decimal as users type it: an optional sign, digits with at most one
// decimal point (at least one digit), and an optional exponent (e or E, an
// optional sign, digits). Nothing else: no spaces, no hexadecimal, no
// "inf" or "nan".
bool isDecimal(std::string_view text);

// The bits that hold a decimal of this text exactly enough that its rounding
// lies far below its last digit: 3.33 bits per digit and a margin.
mpfr_prec_t decimalBits(std::string_view text);

// Reads a decimal (isDecimal must hold) into a number of decimalBits(text)
// bits or `atLeast`, whichever is more. An exponent beyond MPFR's range
// gives an infinity or zero, which callers reject as they see fit.
BigFloat readDecimal(std::string_view text, mpfr_prec_t atLeast = 64);

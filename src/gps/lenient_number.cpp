// Lenient number conversions written by hand: strtod/atof follow LC_NUMERIC,
// and a receiver always sends "." as the decimal separator.
#include "src/gps/lenient_number.h"

#include <cfloat>
#include <climits>
#include <cstddef>
#include <cstdint>

namespace {

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Position after the blanks and the sign; sets negative.
size_t skip_blanks_and_sign(std::string_view text, bool& negative)
{
    size_t i = 0;
    while (i < text.size() && is_blank(text[i]))
        ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return i;
}

// Exact powers of ten up to 1e22; larger scales are applied in steps.
constexpr double pow10_table[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                  1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int pow10_max = 22;

double scale_by_pow10(double value, long exponent)
{
    while (exponent > pow10_max && value <= DBL_MAX) {
        value *= pow10_table[pow10_max];
        exponent -= pow10_max;
    }
    while (exponent < -pow10_max && value != 0.0) {
        value /= pow10_table[pow10_max];
        exponent += pow10_max;
    }
    if (exponent >= 0)
        value *= pow10_table[exponent > pow10_max ? pow10_max : exponent];
    else
        value /= pow10_table[-exponent < pow10_max ? -exponent : pow10_max];
    return value > DBL_MAX ? DBL_MAX : value;
}

// Up to 19 significant digits are kept exactly in an integer; the rest only
// move the decimal exponent. Receivers send far fewer.
struct DecimalDigits {
    uint64_t mantissa = 0;
    int kept = 0;
    long exponent = 0;

    void add(char c, bool after_point)
    {
        if (kept < 19) {
            if (mantissa != 0 || c != '0')
                ++kept;
            mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
            if (after_point)
                --exponent;
        } else if (!after_point) {
            ++exponent;
        }
    }
};

}  // namespace

int lenient_int(std::string_view text)
{
    bool negative = false;
    size_t i = skip_blanks_and_sign(text, negative);
    long long value = 0;
    for (; i < text.size() && is_digit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        return static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

double lenient_double(std::string_view text)
{
    bool negative = false;
    size_t i = skip_blanks_and_sign(text, negative);
    DecimalDigits digits;
    for (; i < text.size() && is_digit(text[i]); ++i)
        digits.add(text[i], false);
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && is_digit(text[i]); ++i)
            digits.add(text[i], true);
    }
    double value = scale_by_pow10(static_cast<double>(digits.mantissa), digits.exponent);
    return negative ? -value : value;
}

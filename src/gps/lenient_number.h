// Lenient, locale-independent number conversions for receiver text fields.
#pragma once

#include <string_view>

// Skips leading blanks, takes an optional sign and the digits that follow and
// stops at the first other byte; no digits gives 0. Values beyond the range of
// int saturate instead of overflowing.
int lenient_int(std::string_view text);

// The same for a decimal number with an optional fraction ("12", "-4807.038",
// ".5", "7."); the separator is always "." whatever the process locale, and
// there is no exponent. The result is always finite: overflow saturates at
// the largest double.
double lenient_double(std::string_view text);

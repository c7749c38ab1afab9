// Doubles as text, the way std::to_chars and std::from_chars write and read them, built on printf
// and strtod (correctly rounded in every C library this is built with) without the large tables
// that the floating-point to_chars and from_chars link into a static program.
#pragma once
#include <string>

namespace halberd {

// The shortest text that reads back to the same value: fixed or scientific, whichever is shorter,
// fixed on a tie; "inf", "nan".
std::string ShortestDoubleText(double value);

// The whole of [first, last) as a double in from_chars' general form: an optional '-' (no '+',
// no spaces), decimal digits with an optional point and exponent, "inf", "infinity", "nan";
// false for anything else and for values out of range.
bool ParseDoubleText(const char* first, const char* last, double& value);

}  // namespace halberd

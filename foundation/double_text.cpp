#include "foundation/double_text.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace halberd {

namespace {

bool ReadsBackAs(const char* text, size_t n, double value) {
  double back = 0;
  return ParseDoubleText(text, text + n, back) && back == value;
}

}  // namespace

bool ParseDoubleText(const char* first, const char* last, double& value) {
  const char* p = first;
  if (p < last && *p == '-') ++p;
  // strtod also takes spaces, '+' and hexadecimal, which the general form does not.
  if (p == last || !(std::isdigit(static_cast<unsigned char>(*p)) || *p == '.' || std::isalpha(static_cast<unsigned char>(*p))))
    return false;
  if (last - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) return false;
  std::string text(first, last);
  char* end = nullptr;
  errno = 0;
  double parsed = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return false;
  // Out of range are overflow and underflow to zero; a subnormal result is a value.
  if (errno == ERANGE && (std::isinf(parsed) || parsed == 0)) return false;
  value = parsed;
  return true;
}

std::string ShortestDoubleText(double value) {
  std::string sign = std::signbit(value) ? "-" : "";
  if (std::isnan(value)) return sign + "nan";
  if (std::isinf(value)) return sign + "inf";
  if (value == 0) return sign + "0";
  double magnitude = std::fabs(value);

  // The fewest significant digits that read back; printf rounds them correctly.
  char e[40];
  int n = 0;
  for (int digits = 1; digits <= 17; ++digits) {
    n = std::snprintf(e, sizeof e, "%.*e", digits - 1, magnitude);
    if (ReadsBackAs(e, size_t(n), magnitude)) break;
  }
  std::string text(e, size_t(n));
  size_t mark = text.find('e');
  std::string digits = text.substr(0, 1) + (mark > 1 ? text.substr(2, mark - 2) : "");
  int exponent = std::atoi(text.c_str() + mark + 1);

  // The same digits laid out without an exponent.
  std::string fixed;
  const int count = int(digits.size());
  if (exponent >= count - 1) {
    // A whole number is written with all the digits of its exact value, as to_chars does.
    char whole[320];
    int w = std::snprintf(whole, sizeof whole, "%.0f", magnitude);
    fixed.assign(whole, size_t(w));
  } else if (exponent >= 0) {
    fixed = digits.substr(0, size_t(exponent + 1)) + "." + digits.substr(size_t(exponent + 1));
  } else {
    fixed = "0." + std::string(size_t(-exponent - 1), '0') + digits;
  }
  // printf writes at least two exponent digits, as to_chars does.
  std::string scientific = digits.substr(0, 1) + (count > 1 ? "." + digits.substr(1) : "") + text.substr(mark);
  return sign + (fixed.size() <= scientific.size() ? fixed : scientific);
}

}  // namespace halberd

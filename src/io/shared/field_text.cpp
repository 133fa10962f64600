// Reals in fixed-width fields: the candidate forms, each with as many digits
// as the width leaves, and the one that reads back closest.
#include "io/shared/field_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "io/shared/number_text.h"

namespace ovk {
namespace quernfold {
namespace detail {
namespace {

// Most digits after the point tried in any form.
constexpr int kMaxDecimals = 17;

struct field_candidate {
  char text[kMaxNumberText];
  int length = 0;
  double value = 0.0;
};

// The shortest exact text with a decimal point: "1" becomes "1.", "1e+20"
// becomes "1.E+20".
void shortest_with_point(double x, field_candidate& c) {
  char raw[kMaxNumberText];
  *format_shortest(raw, x) = '\0';
  const char* e = std::strchr(raw, 'e');
  const std::size_t mantissa = e ? static_cast<std::size_t>(e - raw) : std::strlen(raw);
  const bool point = std::memchr(raw, '.', mantissa) != nullptr || !std::isfinite(x);
  c.length = std::snprintf(c.text, sizeof c.text, "%.*s%s%s%s", static_cast<int>(mantissa), raw,
                           point ? "" : ".", e ? "E" : "", e ? e + 1 : "");
  c.value = x;
}

// "%.*E" without the letter and without the exponent's leading zeros.
int drop_exponent_letter(char* text) {
  char* e = std::strchr(text, 'E');
  if (!e) return static_cast<int>(std::strlen(text));
  char* digits = e + 2;
  while (digits[0] == '0' && digits[1] != '\0') ++digits;
  e[0] = e[1];
  std::memmove(e + 1, digits, std::strlen(digits) + 1);
  return static_cast<int>(std::strlen(text));
}

// The text of `form` ("%#.*f" or "%.*E") with the most decimals that fits
// `width`, letterless exponent with `no_letter`, trying `start` decimals
// first; length 0 when none fits.
void best_of_form(double x, const char* form, bool no_letter, int width, int start,
                  field_candidate& c) {
  c.length = 0;
  for (int decimals = std::min(start, kMaxDecimals); decimals >= 0; --decimals) {
    char text[kMaxNumberText];
    if (std::snprintf(text, sizeof text, form, decimals, x) >= static_cast<int>(sizeof text))
      continue;
    const double value = std::strtod(text, nullptr);
    const int length = no_letter ? drop_exponent_letter(text) : static_cast<int>(std::strlen(text));
    if (length > width) continue;
    std::memcpy(c.text, text, static_cast<std::size_t>(length) + 1);
    c.length = length;
    c.value = value;
    return;
  }
}

}  // namespace

char* format_in_field(char* out, double x, int width, double& value) noexcept {
  field_candidate best, c;
  shortest_with_point(x, best);
  if (best.length > width) {
    best.length = 0;
    // The decimals that fill the width when the rest is as short as it can
    // be: a sign, the leading digit(s), the point and the shortest exponent
    // ("E+0" / "+0"); a longer rest costs one try per character.
    const int sign = std::signbit(x) ? 1 : 0;
    const double magnitude = std::fabs(x);
    const int whole = magnitude >= 1.0 ? static_cast<int>(std::log10(magnitude)) + 1 : 1;
    const struct {
      const char* form;
      bool no_letter;
      int start;
    } kForms[] = {{"%.*E", false, width - sign - 5},
                  {"%#.*f", false, width - sign - whole - 1},
                  {"%.*E", true, width - sign - 4}};
    for (const auto& f : kForms) {
      if (f.start < 0 || !std::isfinite(x)) continue;
      best_of_form(x, f.form, f.no_letter, width, f.start, c);
      if (c.length && (!best.length || std::fabs(c.value - x) < std::fabs(best.value - x)))
        best = c;
    }
  }
  value = best.value;
  const int pad = width > best.length ? width - best.length : 0;
  std::memset(out, ' ', static_cast<std::size_t>(pad));
  std::memcpy(out + pad, best.text, static_cast<std::size_t>(best.length));
  out[pad + best.length] = '\0';
  return out + pad + best.length;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk

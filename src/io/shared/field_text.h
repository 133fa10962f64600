// Reals in the fixed-width fields of bulk-data decks: the text of at most a
// field's width that reads back closest to the value.
#pragma once

namespace ovk {
namespace quernfold {
namespace detail {

// Longest field text handled (NUL included).
constexpr int kMaxFieldText = 32;

// Writes x right-aligned in exactly `width` characters (width <
// kMaxFieldText), a NUL after them, in the form of the fixed-width field
// readers that reads back closest to x: the shortest exact text when it
// fits, else the best of fixed notation ("123.456789"), exponent notation
// ("1.2345678E+05") and exponent notation without the letter ("1.23456789+5").
// Every real carries its decimal point. `value` receives what the text reads
// back as (x when exact; a text that cannot hold x at all, as inf or nan in
// a narrow field, gives the value of the best text). Returns the end.
char* format_in_field(char* out, double x, int width, double& value) noexcept;

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk

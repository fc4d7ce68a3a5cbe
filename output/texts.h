// The texts about a run of both commands, filled in with its values and wrapped to a terminal's
// width.
#pragma once

#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace eigenshoot {

// A value that a text about a run shows, by its name in the text: one number, or a list.
struct namedvalue {
  std::string_view name;
  double value = 0.0;
  std::span<const double> list{};
};
// The text with each {name} replaced by its value in the shortest form that reads back as the
// same double (an exponent without a sign or leading zeros: 1e-8), a list by its values
// separated by ", ", and {a and b} by the pairs of two lists: "a1 and b1, a2 and b2". A name
// that is not among the values throws std::invalid_argument.
std::string filled(std::string_view text, std::span<const namedvalue> values);
// One value as filled() shows it.
std::string shortest(double v);
// The text wrapped at blanks into lines of at most `columns` characters. A line that starts
// with a blank is an item, whose continuation lines are indented to its description (the
// column after the first two blanks in a row); the lines of a paragraph, which start with no
// blank, are joined and filled.
std::string wrapped(std::string_view text, std::size_t columns);
// The usage texts are wrapped so that they fit an 80-column terminal.
inline constexpr std::size_t helpcolumns = 79;

}  // namespace eigenshoot

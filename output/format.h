// The layout of one text record, either by a format text such as "(I6, 2X, F24.16)" or in
// list-directed form.
#pragma once

#include <array>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace eigenshoot {

// One descriptor of a format text: nX (blanks), 'text', Iw or Fw.d. An nX just before an Iw or
// Fw.d is kept as the number's lead. An Fw.d carries the writer of its fields, chosen for its
// width and digits when the text is parsed.
struct descriptor;
using fieldwriter = char* (*)(char* out, const descriptor& d, double v);
struct descriptor {
  enum class kind : unsigned char { blanks, literal, integer, fixed };
  kind what = kind::blanks;
  int width = 0;   // columns taken by the descriptor, not counting its lead
  int digits = 0;  // digits after the decimal point, for Fw.d
  int lead = 0;    // blanks before the number
  std::string_view text{};
  const fieldwriter* write = nullptr;  // for Fw.d
};

// Record layout, without a line terminator: layout() writes exactly f.width() characters and
// no byte after them.
//
// n blanks, 0 <= n <= 32: two overlapping fixed-size copies of at most 16 bytes each, so that
// the common short runs take no loop and no byte after the last blank is touched.
inline constexpr char layoutblanks[] = "                ";
inline char* shortblanks(char* out, std::size_t n) {
  if (n >= 16) {
    std::memcpy(out, layoutblanks, 16);
    std::memcpy(out + n - 16, layoutblanks, 16);
  } else if (n >= 4) {
    const std::size_t half = n >= 8 ? 8 : 4;
    std::memcpy(out, layoutblanks, half);
    std::memcpy(out + n - half, layoutblanks, half);
  } else {
    for (std::size_t k = 0; k < n; ++k) out[k] = ' ';
  }
  return out + n;
}
inline constexpr int shortcolumns = 32;

// The writers of Fw.d fields. Each writes its lead blanks and one field: v rounded to d
// decimals (ties to even), always with a point, right-justified, the zero before the point
// dropped only when the field is otherwise too narrow, w asterisks when even that fails. There
// is one writer for each digit count up to fastdigits, for fields of at most shortcolumns
// columns with their lead that leave room for a sign and a digit before the point, and last a
// general one for every other field.
inline constexpr int fastdigits = 16;
extern const std::array<fieldwriter, fastdigits + 2> fieldwriters;
constexpr const fieldwriter* fixedwriter(const descriptor& d) {
  const bool fast =
      d.digits <= fastdigits && d.lead + d.width <= shortcolumns && d.width >= d.digits + 3;
  return &fieldwriters[fast ? d.digits : fastdigits + 1];
}

// Reports a malformed format text. It is not constexpr, so that a format text of the program
// that is malformed does not compile: the error is the call of this function, in the expansion
// of the format's constructor that names the text. At run time it throws std::invalid_argument.
[[noreturn]] void formattextmalformed(const char* why);

// A format text, parsed once. Literal descriptors refer into the text, which must outlive it.
class format {
 public:
  // A format text of the program, parsed when the program is compiled.
  consteval format(const char* text) {
    if (const char* why = read(text)) formattextmalformed(why);
  }
  // A format text made at run time; a malformed one throws std::invalid_argument.
  static format made(std::string_view text);
  // Why the text is malformed, or nullptr when it is well formed.
  static constexpr const char* fault(std::string_view text) { return format().read(text); }

  constexpr std::span<const descriptor> descriptors() const { return {list_.data(), count_}; }
  constexpr int width() const { return width_; }  // characters in every record
  constexpr std::string_view text() const { return text_; }

 private:
  constexpr format() = default;
  constexpr const char* read(std::string_view text);

  std::array<descriptor, 16> list_{};
  std::size_t count_ = 0;
  int width_ = 0;
  std::string_view text_{};
};

// One item of a record: an integer, a real or a character string, as `what` says; only that
// member holds a value.
struct item {
  enum class kind : unsigned char { integer, real, text };
  kind what;
  union {
    int i;
    double r;
    std::string_view s;
  };
  constexpr item(int v) : what(kind::integer), i(v) {}
  constexpr item(double v) : what(kind::real), r(v) {}
  constexpr item(std::string_view v) : what(kind::text), s(v) {}
  constexpr item(const char* v) : what(kind::text), s(v) {}
};

// layout() throws std::invalid_argument when the items do not match the format's descriptors;
// listed() writes at most listedsize(items) characters, a real in at most listedreal (the
// shortest form that reads back as the same double is at most that long).
inline constexpr std::size_t listedreal = 24;
char* layout(char* out, const format& f, std::span<const item> items);
std::size_t listedsize(std::span<const item> items);
char* listed(char* out, std::span<const item> items);

}  // namespace eigenshoot

#include "output/formattext.h"

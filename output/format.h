// The layout of one text record, either by a format text such as "(I6, 2X, F24.16)" or in
// list-directed form.
#pragma once

#include <array>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace eigenshoot {

// One descriptor of a format text: nX (blanks), 'text', Iw or Fw.d. An nX just before an Iw or
// Fw.d is kept as the number's lead. An Fw.d carries the writer of its fields, chosen for its
// width and digits when the text is parsed.
struct descriptor;
using fieldwriter = void (*)(char* end, const descriptor& d, double v);
struct descriptor {
  enum class kind : unsigned char { blanks, literal, integer, fixed };
  kind what = kind::blanks;
  int width = 0;   // columns taken by the descriptor, not counting its lead
  int digits = 0;  // digits after the decimal point, for Fw.d
  int lead = 0;    // blanks before the number
  std::string_view text{};
  const fieldwriter* write = nullptr;  // for Fw.d
  int end = 0;                         // the column after the descriptor, counted from 0
};

// The writers of Fw.d fields. Each writes one field into columns that are blank, ending at
// `end`: v rounded to d decimals (ties to even), always with a point, right-justified, the zero
// before the point dropped only when the field is otherwise too narrow, w asterisks when even
// that fails. There is one writer for each digit count up to fastdigits, for fields that leave
// room for a sign and a digit before the point, and last a general one for every other field.
inline constexpr int fastdigits = 16;
extern const std::array<fieldwriter, fastdigits + 2> fieldwriters;
constexpr bool fastfixed(const descriptor& d) {
  return d.digits <= fastdigits && d.width >= d.digits + 3;
}
constexpr const fieldwriter* fixedwriter(const descriptor& d) {
  return &fieldwriters[fastfixed(d) ? d.digits : fastdigits + 1];
}

// Iw: the integer right-justified in blank columns that end at `end`, or w asterisks when it
// does not fit.
void integerfield(char* end, int w, int v);

// A record of at most this many columns is laid out over a copy of its blank form, made when
// its format text is parsed: its literals and blanks in place, blanks where the numbers go.
inline constexpr int blankformcolumns = 64;

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
  // The descriptors of numbers (Iw and Fw.d), one for each item of a record, in order.
  constexpr std::span<const descriptor> fields() const { return {fields_.data(), fieldcount_}; }
  constexpr int width() const { return width_; }  // characters in every record
  constexpr std::string_view text() const { return text_; }
  // The record with every number left blank, when it has at most blankformcolumns columns.
  constexpr const char* blankform() const { return blankform_.data(); }

 private:
  constexpr format() = default;
  constexpr const char* read(std::string_view text);

  std::array<descriptor, 16> list_{};
  std::size_t count_ = 0;
  std::array<descriptor, 16> fields_{};
  std::size_t fieldcount_ = 0;
  int width_ = 0;
  std::array<char, blankformcolumns> blankform_{};
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

// Records, without a line terminator. layout() writes exactly f.width() characters and no byte
// after them; it throws std::invalid_argument when the items do not match the format's
// descriptors. listed() writes at most listedsize(items) characters, a real in at most listedreal
// (the shortest form that reads back as the same double is at most that long).
inline constexpr std::size_t listedreal = 24;
char* layout(char* out, const format& f, std::span<const item> items);
std::size_t listedsize(std::span<const item> items);
char* listed(char* out, std::span<const item> items);

}  // namespace eigenshoot

#include "output/formattext.h"

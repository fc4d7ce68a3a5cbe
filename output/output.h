// Output: numbered units bound to files or standard output, and the layout of one text
// record either by a format text such as "(I6, 2X, F24.16)" or in list-directed form.
//
// Units: 1 and 2 are files opened by name; 6 is standard output and always open. Records
// are collected in a buffer per unit and written out in large pieces; every open, write,
// flush and close is checked, and a failure throws fatalerror naming the destination.
#pragma once

#include <array>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

// A failure that stops the run: what() is the diagnostic after the program's name, such as
// "apartat4.dat: No space left on device".
class fatalerror : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One descriptor of a format text: nX (blanks), 'text', Iw or Fw.d.
struct descriptor {
  enum class kind : unsigned char { blanks, literal, integer, fixed };
  kind what = kind::blanks;
  int width = 0;   // columns taken by the descriptor
  int digits = 0;  // digits after the decimal point, for Fw.d
  std::string_view text{};
};

// A format text, parsed once. Declared constexpr, the program's formats are parsed and
// checked at compile time; a malformed text throws std::invalid_argument.
class format {
 public:
  static constexpr int maxdescriptors = 16;

  constexpr explicit format(std::string_view text) : text_(text) {
    std::size_t p = skipblanks(text, 0);
    if (p == text.size() || text[p] != '(') bad("must begin with '('");
    for (p = skipblanks(text, p + 1); p < text.size() && text[p] != ')';) {
      if (count_ == maxdescriptors) bad("has too many descriptors");
      p = skipblanks(text, parseone(text, p, list_[count_]));
      width_ += list_[count_++].width;
      if (p < text.size() && text[p] == ',')
        p = skipblanks(text, p + 1);
      else if (p < text.size() && text[p] != ')')
        bad("needs ',' between descriptors");
    }
    if (p == text.size() || skipblanks(text, p + 1) != text.size()) bad("must end with ')'");
  }

  constexpr std::span<const descriptor> descriptors() const {
    return {list_.data(), static_cast<std::size_t>(count_)};
  }
  constexpr int width() const { return width_; }  // characters in every record
  constexpr std::string_view text() const { return text_; }

 private:
  [[noreturn]] static void bad(const char* why) {
    throw std::invalid_argument(std::string("format text ") + why);
  }
  static constexpr bool digit(char c) { return c >= '0' && c <= '9'; }
  static constexpr std::size_t skipblanks(std::string_view s, std::size_t p) {
    while (p < s.size() && s[p] == ' ') ++p;
    return p;
  }
  // Reads an unsigned count at p into n; returns the position after it.
  static constexpr std::size_t number(std::string_view s, std::size_t p, int& n) {
    if (p == s.size() || !digit(s[p])) bad("needs a number");
    for (n = 0; p < s.size() && digit(s[p]); ++p) {
      if (n > 9999) bad("has a field that is too wide");
      n = n * 10 + (s[p] - '0');
    }
    return p;
  }
  static constexpr std::size_t parseone(std::string_view s, std::size_t p, descriptor& d) {
    if (s[p] == '\'') {
      const std::size_t close = s.find('\'', p + 1);
      if (close == std::string_view::npos) bad("has an unclosed literal");
      d = {descriptor::kind::literal, static_cast<int>(close - p - 1), 0,
           s.substr(p + 1, close - p - 1)};
      return close + 1;
    }
    int n = 0;
    if (digit(s[p])) {  // nX
      p = number(s, p, n);
      if (p == s.size() || (s[p] != 'X' && s[p] != 'x') || n == 0) bad("expects nX with n > 0");
      d = {descriptor::kind::blanks, n, 0, {}};
      return p + 1;
    }
    const char letter = s[p] | 0x20;  // either case
    if (letter == 'i') {
      p = number(s, p + 1, n);
      if (n == 0) bad("expects Iw with w > 0");
      d = {descriptor::kind::integer, n, 0, {}};
      return p;
    }
    if (letter == 'f') {
      int places = 0;
      p = number(s, p + 1, n);
      if (p == s.size() || s[p] != '.') bad("expects Fw.d");
      p = number(s, p + 1, places);
      if (n == 0 || places >= n) bad("expects Fw.d with w > d");
      d = {descriptor::kind::fixed, n, places, {}};
      return p;
    }
    bad("has an unknown descriptor");
  }

  std::string_view text_;
  std::array<descriptor, maxdescriptors> list_{};
  int count_ = 0;
  int width_ = 0;
};

// One item of a record: an integer, a real or a character string.
struct item {
  enum class kind : unsigned char { integer, real, text };
  kind what;
  int i = 0;
  double r = 0.0;
  std::string_view s{};
  constexpr item(int v) : what(kind::integer), i(v) {}
  constexpr item(double v) : what(kind::real), r(v) {}
  constexpr item(std::string_view v) : what(kind::text), s(v) {}
  constexpr item(const char* v) : what(kind::text), s(v) {}
};

// Record layout, without a line terminator. layout() writes exactly f.width() characters
// and needs one spare column; listed() writes at most listedsize(items) characters.
// Both throw std::invalid_argument when the items do not match what the record needs.
char* layout(char* out, const format& f, std::span<const item> items);
std::size_t listedsize(std::span<const item> items);
char* listed(char* out, std::span<const item> items);

// Units. open binds unit 1 or 2 to the named file in the working directory, created or
// rewritten from its start. A write appends one record. flushunit writes out what is pending;
// closeunit flushes and closes (standard output too, for unit 6); closeunits does so for every
// open unit, in the order 1, 2, 6. A unit that is not open is a fault of the caller.
void openunit(int unit, const char* name);
void writerecord(int unit, const format& f, std::span<const item> items);
void writerecord(int unit, std::span<const item> items);
void flushunit(int unit);
void closeunit(int unit);
void closeunits();

template <class... T>
void writefmt(int unit, const format& f, T... items) {
  const std::array<item, sizeof...(T)> list{item(items)...};
  writerecord(unit, f, list);
}

template <class... T>
void writelist(int unit, T... items) {
  const std::array<item, sizeof...(T)> list{item(items)...};
  writerecord(unit, list);
}

// Parsing of format texts: descriptors between parentheses, separated by commas, with blanks
// around them ignored and descriptor letters in either case.
#include <string>

#include "output/output.h"

namespace {

[[noreturn]] void bad(const char* why) {
  throw std::invalid_argument(std::string("format text ") + why);
}

bool digit(char c) {
  return c >= '0' && c <= '9';
}

std::size_t skipblanks(std::string_view s, std::size_t p) {
  while (p < s.size() && s[p] == ' ') ++p;
  return p;
}

// Reads the count at p into n; returns the position after it.
std::size_t number(std::string_view s, std::size_t p, int& n) {
  if (p == s.size() || !digit(s[p])) bad("needs a number");
  for (n = 0; p < s.size() && digit(s[p]); ++p) {
    if (n > 9999) bad("has a field that is too wide");
    n = n * 10 + (s[p] - '0');
  }
  return p;
}

// Reads one descriptor at p: 'text', nX, Iw or Fw.d. Returns the position after it.
std::size_t descriptorat(std::string_view s, std::size_t p, descriptor& d) {
  using k = descriptor::kind;
  if (s[p] == '\'') {
    const std::size_t close = s.find('\'', p + 1);
    if (close == std::string_view::npos) bad("has an unclosed literal");
    d = {k::literal, static_cast<int>(close - p - 1), 0, 0, s.substr(p + 1, close - p - 1)};
    return close + 1;
  }
  int w = 0, places = 0;
  if (digit(s[p])) {
    p = number(s, p, w);
    if (p == s.size() || (s[p] | 0x20) != 'x' || w == 0) bad("expects nX with n > 0");
    d = {k::blanks, w, 0, 0, {}};
    return p + 1;
  }
  const char letter = static_cast<char>(s[p] | 0x20);
  if (letter != 'i' && letter != 'f') bad("has an unknown descriptor");
  p = number(s, p + 1, w);
  if (letter == 'f') {
    if (p == s.size() || s[p] != '.') bad("expects Fw.d");
    p = number(s, p + 1, places);
  }
  if (w == 0 || (letter == 'f' && places >= w)) bad("expects a width above the decimals");
  d = {letter == 'i' ? k::integer : k::fixed, w, places, 0, {}};
  return p;
}

}  // namespace

format::format(std::string_view text) {
  std::size_t p = skipblanks(text, 0);
  if (p == text.size() || text[p] != '(') bad("must begin with '('");
  for (p = skipblanks(text, p + 1); p < text.size() && text[p] != ')';) {
    if (count_ == list_.size()) bad("has too many descriptors");
    descriptor& d = list_[count_];
    p = skipblanks(text, descriptorat(text, p, d));
    width_ += d.width;
    // Blanks before a number become part of its field: one step less for every record.
    if (count_ > 0 && d.what >= descriptor::kind::integer &&
        list_[count_ - 1].what == descriptor::kind::blanks) {
      d.lead = list_[--count_].width;
      list_[count_] = d;
    }
    if (list_[count_].what == descriptor::kind::fixed) {
      list_[count_].write = fixedwriter(list_[count_]);
    }
    ++count_;
    if (p < text.size() && text[p] == ',') {
      p = skipblanks(text, p + 1);
    } else if (p < text.size() && text[p] != ')') {
      bad("needs ',' between descriptors");
    }
  }
  if (p == text.size() || skipblanks(text, p + 1) != text.size()) bad("must end with ')'");
}

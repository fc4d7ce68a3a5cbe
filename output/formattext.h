// Parsing of format texts, at compile time for the program's own texts: descriptors between
// parentheses, separated by commas, with blanks around them ignored and descriptor letters in
// either case. Each step returns why the text is malformed, or nullptr.
#pragma once

#include "output/format.h"

namespace eigenshoot {

namespace formattext {

constexpr bool digit(char c) {
  return c >= '0' && c <= '9';
}

constexpr std::size_t skipblanks(std::string_view s, std::size_t p) {
  while (p < s.size() && s[p] == ' ') ++p;
  return p;
}

// Reads the count at p into n and moves p past it.
constexpr const char* number(std::string_view s, std::size_t& p, int& n) {
  if (p == s.size() || !digit(s[p])) return "needs a number";
  for (n = 0; p < s.size() && digit(s[p]); ++p) {
    if (n > 9999) return "has a field that is too wide";
    n = n * 10 + (s[p] - '0');
  }
  return nullptr;
}

// Reads one descriptor at p ('text', nX, Iw or Fw.d) into d and moves p past it.
constexpr const char* descriptorat(std::string_view s, std::size_t& p, descriptor& d) {
  using k = descriptor::kind;
  if (s[p] == '\'') {
    const std::size_t close = s.find('\'', p + 1);
    if (close == std::string_view::npos) return "has an unclosed literal";
    d = {k::literal, static_cast<int>(close - p - 1), 0, 0, s.substr(p + 1, close - p - 1)};
    p = close + 1;
    return nullptr;
  }
  int w = 0, places = 0;
  if (digit(s[p])) {
    if (const char* why = number(s, p, w)) return why;
    if (p == s.size() || (s[p] | 0x20) != 'x' || w == 0) return "expects nX with n > 0";
    d = {k::blanks, w, 0, 0, {}};
    ++p;
    return nullptr;
  }
  const char letter = static_cast<char>(s[p] | 0x20);
  if (letter != 'i' && letter != 'f') return "has an unknown descriptor";
  if (const char* why = number(s, ++p, w)) return why;
  if (letter == 'f') {
    if (p == s.size() || s[p] != '.') return "expects Fw.d";
    if (const char* why = number(s, ++p, places)) return why;
  }
  if (w == 0 || (letter == 'f' && places >= w)) return "expects a width above the decimals";
  d = {letter == 'i' ? k::integer : k::fixed, w, places, 0, {}};
  return nullptr;
}

}  // namespace formattext

constexpr const char* format::read(std::string_view text) {
  using namespace formattext;
  using k = descriptor::kind;
  text_ = text;
  std::size_t p = skipblanks(text, 0);
  if (p == text.size() || text[p] != '(') return "must begin with '('";
  for (p = skipblanks(text, p + 1); p < text.size() && text[p] != ')';) {
    if (count_ == list_.size()) return "has too many descriptors";
    descriptor d;
    if (const char* why = descriptorat(text, p, d)) return why;
    p = skipblanks(text, p);
    width_ += d.width;
    // Blanks before a number become part of its field: one step less for every record.
    if ((d.what == k::integer || d.what == k::fixed) && count_ > 0 &&
        list_[count_ - 1].what == k::blanks) {
      d.lead = list_[--count_].width;
    }
    if (d.what == k::fixed) d.write = fixedwriter(d);
    d.end = width_;
    list_[count_++] = d;
    if (d.what == k::integer || d.what == k::fixed) fields_[fieldcount_++] = d;
    if (p < text.size() && text[p] == ',') {
      p = skipblanks(text, p + 1);
    } else if (p < text.size() && text[p] != ')') {
      return "needs ',' between descriptors";
    }
  }
  if (p == text.size() || skipblanks(text, p + 1) != text.size()) return "must end with ')'";
  if (width_ <= blankformcolumns) {
    for (std::size_t c = 0; c < blankformcolumns; ++c) blankform_[c] = ' ';
    for (const descriptor& d : descriptors()) {
      for (std::size_t c = 0; c < d.text.size(); ++c)
        blankform_[static_cast<std::size_t>(d.end - d.width) + c] = d.text[c];
    }
  }
  return nullptr;
}

}  // namespace eigenshoot

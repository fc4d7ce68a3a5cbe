// Text from outside the program (an argument, a directory's name, a tool's message) made safe
// to show on a terminal.
#include <string>

#include "output/terminal.h"

namespace eigenshoot {

namespace {

// The length of the UTF-8 sequence at the start of s, or 0 when none starts there.
std::size_t utf8length(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(0);
  const std::size_t n = lead >= 0xf5   ? 0  // no UTF-8 character begins with F5 to FF
                        : lead >= 0xf0 ? 4
                        : lead >= 0xe0 ? 3
                        : lead >= 0xc2 ? 2
                                       : 0;
  if (n == 0 || n > s.size()) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    if ((byte(i) & 0xc0) != 0x80) return 0;
  }
  // No overlong forms, no surrogates, nothing above U+10FFFF.
  if ((lead == 0xe0 && byte(1) < 0xa0) || (lead == 0xed && byte(1) >= 0xa0) ||
      (lead == 0xf0 && byte(1) < 0x90) || (lead == 0xf4 && byte(1) >= 0x90)) {
    return 0;
  }
  return n;
}

// Whether the UTF-8 character at the start of s, n bytes long, is a bidirectional control that
// reorders the text after it: U+202A to U+202E (embeddings, overrides) or U+2066 to U+2069
// (isolates).
bool bidirectional(std::string_view s, std::size_t n) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  return n == 3 && byte(0) == 0xe2 &&
         ((byte(1) == 0x80 && byte(2) >= 0xaa && byte(2) <= 0xae) ||
          (byte(1) == 0x81 && byte(2) >= 0xa6 && byte(2) <= 0xa9));
}

}  // namespace

// Control characters (C0, DEL, C1 whether raw or in UTF-8, and the bidirectional ones) and
// bytes that belong to no UTF-8 character are written as a backslash and three octal digits, so
// that nothing in the text acts on the terminal; other characters, in UTF-8 too, stay as they are.
std::string escaped(std::string_view text) {
  std::string shown;
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const std::size_t n = byte(i) >= 0x20 && byte(i) < 0x7f ? 1 : utf8length(text.substr(i));
    if (n == 0 || (n == 2 && byte(i) == 0xc2 && byte(i + 1) < 0xa0) ||
        bidirectional(text.substr(i), n)) {
      for (const std::size_t end = i + (n == 0 ? 1 : n); i < end; ++i) {
        shown +=
            {'\\', static_cast<char>('0' + (byte(i) >> 6)),
             static_cast<char>('0' + (byte(i) >> 3 & 7)), static_cast<char>('0' + (byte(i) & 7))};
      }
    } else {
      shown.append(text.substr(i, n));
      i += n;
    }
  }
  return shown;
}

}  // namespace eigenshoot

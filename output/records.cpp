// Record layout: fixed-width fields for format texts, free form for list-directed records.
#include <algorithm>
#include <charconv>
#include <cstring>
#include <stdexcept>

#include "output/format.h"
#include "output/texts.h"

namespace eigenshoot {

namespace {

[[noreturn]] void mismatch(const char* why) {
  throw std::invalid_argument(why);
}

// nX: a short run of blanks by fixed-size copies, a long one by a loop.
char* blanks(char* out, int n) {
  if (n <= shortcolumns) return shortblanks(out, static_cast<std::size_t>(n));
  return std::fill_n(out, n, ' ');
}

// Iw: the integer right-justified, or w asterisks when it does not fit.
char* integerfield(char* out, int w, int v) {
  char digits[16];
  const int n = static_cast<int>(std::to_chars(digits, digits + sizeof digits, v).ptr - digits);
  if (n > w) return std::fill_n(out, w, '*');
  std::fill_n(out, w - n, ' ');
  return std::copy(digits, digits + n, out + (w - n));
}

}  // namespace

char* layout(char* out, const format& f, std::span<const item> items) {
  const item* next = items.data();
  const item* const last = next + items.size();
  // The next item, which the descriptor needs to be of kind `want`.
  const auto take = [&](item::kind want) -> const item& {
    if (next == last) mismatch("record has fewer items than its format text");
    if (next->what != want) mismatch("record item does not match its format descriptor");
    return *next++;
  };
  for (const descriptor& d : f.descriptors()) {
    using k = descriptor::kind;
    if (d.what == k::fixed) {
      out = (*d.write)(out, d, take(item::kind::real).r);
    } else if (d.what == k::integer) {
      out = integerfield(blanks(out, d.lead), d.width, take(item::kind::integer).i);
    } else if (d.what == k::blanks) {
      out = blanks(out, d.width);
    } else {
      out = std::copy(d.text.begin(), d.text.end(), out);
    }
  }
  if (next != last) mismatch("record has more items than its format text");
  return out;
}

std::size_t listedsize(std::span<const item> items) {
  std::size_t n = 1;
  for (const item& it : items) n += it.what == item::kind::text ? it.s.size() : listedreal + 1;
  return n;
}

// A list-directed record begins with one blank; strings are copied unchanged and reals are
// written in the shortest form that reads back as the same double. A real that follows
// another real is separated from it by a blank. A record without items is an empty line.
char* listed(char* out, std::span<const item> items) {
  if (items.empty()) return out;
  *out++ = ' ';
  bool afterreal = false;
  for (const item& it : items) {
    if (it.what == item::kind::text) {
      out = std::copy(it.s.begin(), it.s.end(), out);
      afterreal = false;
      continue;
    }
    if (afterreal) *out++ = ' ';
    out = it.what == item::kind::real ? std::to_chars(out, out + listedreal, it.r).ptr
                                      : std::to_chars(out, out + listedreal, it.i).ptr;
    afterreal = true;
  }
  return out;
}

}  // namespace eigenshoot

// Record layout: fixed-width fields for format texts, free form for list-directed records.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "output/output.h"

namespace {

[[noreturn]] void mismatch(const char* why) {
  throw std::invalid_argument(why);
}

char* blanks(char* out, int n) {
  std::memset(out, ' ', static_cast<std::size_t>(n));
  return out + n;
}

char* asterisks(char* out, int n) {
  std::memset(out, '*', static_cast<std::size_t>(n));
  return out + n;
}

// Right-justifies the n characters at text in the field of w columns at out; the text may
// already lie at the start of the field.
char* justify(char* out, int w, const char* text, int n) {
  std::memmove(out + (w - n), text, static_cast<std::size_t>(n));
  blanks(out, w - n);
  return out + w;
}

// Iw: the integer right-justified, or w asterisks when it does not fit.
char* integerfield(char* out, int w, int v) {
  char digits[16];
  const int n = static_cast<int>(std::to_chars(digits, digits + sizeof digits, v).ptr - digits);
  return n > w ? asterisks(out, w) : justify(out, w, digits, n);
}

__extension__ using uint128 = unsigned __int128;

constexpr int maxfastdigits = 17;
constexpr auto powersof10 = [] {
  std::array<std::uint64_t, maxfastdigits + 1> p{1};
  for (std::size_t d = 1; d < p.size(); ++d) p[d] = p[d - 1] * 10;
  return p;
}();

// The general conversion, for values outside the common case; a point is added for d = 0.
std::to_chars_result generalfixed(char* first, char* last, double v, int d) {
  auto r = std::to_chars(first, last, v, std::chars_format::fixed, d);
  if (r.ec != std::errc{} || d > 0 || !std::isfinite(v)) return r;
  if (r.ptr == last) return {last, std::errc::value_too_large};
  *r.ptr++ = '.';
  return r;
}

// v rounded to d decimals, always with a decimal point, as std::to_chars(fixed, d) writes it:
// the exact decimal value rounded to nearest, ties to even, a minus sign kept for negative
// values that round to zero. The common case, |v| < 2^53 with d <= 17 and at most 19 digits,
// is computed directly: v = m * 2^-s exactly, so round(m * 10^d / 2^s) is formed exactly in
// 128 bits. Anything else goes to the general conversion. Fails with value_too_large when the text
// does not fit in [first, last).
std::to_chars_result fixeddecimal(char* first, char* last, double v, int d) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  // |v| of 2^53 or more, infinities and NaNs take the general conversion.
  if (biased > 1075 || d > maxfastdigits) return generalfixed(first, last, v, d);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  const std::uint64_t m = biased == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
  const int s = biased == 0 ? 1074 : 1075 - biased;

  const std::uint64_t scale = powersof10[static_cast<std::size_t>(d)];
  const uint128 scaled = uint128{m} * scale;  // below 2^110
  uint128 n = 0;                              // below one half when s >= 128
  if (s == 0) {
    n = scaled;
  } else if (s < 128) {
    n = scaled >> s;
    const uint128 rest = scaled - (n << s), half = uint128{1} << (s - 1);
    if (rest > half || (rest == half && (n & 1) != 0)) ++n;
  }
  if ((n >> 64) != 0) return generalfixed(first, last, v, d);

  // The digits of round(v * 10^d), at least d + 1 of them, written from the last backwards
  // with the point put in before the last d.
  char text[48];
  char* const textend = text + sizeof text;
  char* p = textend;
  auto q = static_cast<std::uint64_t>(n);
  for (int j = 0; j < d; ++j, q /= 10) *--p = static_cast<char>('0' + q % 10);
  *--p = '.';
  do *--p = static_cast<char>('0' + q % 10);
  while ((q /= 10) != 0);
  if ((bits >> 63) != 0) *--p = '-';
  if (textend - p > last - first) return {last, std::errc::value_too_large};
  return {std::copy(p, textend, first), std::errc{}};
}

// Fw.d: the exact decimal rounding of v, right-justified. The text is produced in place at the
// field's start with room for one column more than the field: a value that still needs w + 1
// columns fits only by dropping the optional zero before the point; anything longer is w
// asterisks.
char* fixedfield(char* out, int w, int d, double v) {
  const auto [end, ec] = fixeddecimal(out, out + w + 1, v, d);
  if (ec != std::errc{}) return asterisks(out, w);
  const int n = static_cast<int>(end - out);
  if (n == w + 1) {
    const int zero = out[0] == '-' ? 1 : 0;  // position of the digit before the point
    if (out[zero] != '0' || out[zero + 1] != '.') return asterisks(out, w);
    std::memmove(out + zero, out + zero + 1, static_cast<std::size_t>(n - zero - 1));
    return out + w;
  }
  return justify(out, w, out, n);
}

// Widest list-directed real: the shortest round-trip form of any double.
constexpr std::size_t maxreal = 24;

}  // namespace

char* layout(char* out, const format& f, std::span<const item> items) {
  std::size_t next = 0;
  for (const descriptor& d : f.descriptors()) {
    using k = descriptor::kind;
    if (d.what == k::blanks) {
      out = blanks(out, d.width);
    } else if (d.what == k::literal) {
      out = std::copy(d.text.begin(), d.text.end(), out);
    } else {
      if (next == items.size()) mismatch("record has fewer items than its format text");
      const item& it = items[next++];
      if (d.what == k::integer && it.what == item::kind::integer) {
        out = integerfield(out, d.width, it.i);
      } else if (d.what == k::fixed && it.what == item::kind::real) {
        out = fixedfield(out, d.width, d.digits, it.r);
      } else {
        mismatch("record item does not match its format descriptor");
      }
    }
  }
  if (next != items.size()) mismatch("record has more items than its format text");
  return out;
}

std::size_t listedsize(std::span<const item> items) {
  std::size_t n = 1;
  for (const item& it : items) n += it.what == item::kind::text ? it.s.size() : maxreal + 1;
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
    out = it.what == item::kind::real ? std::to_chars(out, out + maxreal, it.r).ptr
                                      : std::to_chars(out, out + maxreal, it.i).ptr;
    afterreal = true;
  }
  return out;
}

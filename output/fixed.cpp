// Fw.d fields: the exact decimal value of a double rounded to d decimals, to nearest with ties
// to even, right-justified in w columns, as std::to_chars(fixed, d) writes it but always with a
// decimal point.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "output/output.h"

namespace {

// The general conversion, for every value; a point is added for d = 0.
std::to_chars_result generalfixed(char* first, char* last, double v, int d) {
  auto r = std::to_chars(first, last, v, std::chars_format::fixed, d);
  if (r.ec != std::errc{} || d > 0 || !std::isfinite(v)) return r;
  if (r.ptr == last) return {last, std::errc::value_too_large};
  *r.ptr++ = '.';
  return r;
}

// The field by the general conversion. The text is produced in place at the field's start with
// room for one column more than the field: a value that still needs w + 1 columns fits only by
// dropping the optional zero before the point; anything longer is w asterisks.
char* generalfield(char* out, int w, int d, double v) {
  const auto [end, ec] = generalfixed(out, out + w + 1, v, d);
  if (ec != std::errc{}) return std::fill_n(out, w, '*');
  const int n = static_cast<int>(end - out);
  if (n == w + 1) {
    const int zero = out[0] == '-' ? 1 : 0;  // position of the digit before the point
    if (out[zero] != '0' || out[zero + 1] != '.') return std::fill_n(out, w, '*');
    std::memmove(out + zero, out + zero + 1, static_cast<std::size_t>(n - zero - 1));
    return out + w;
  }
  std::memmove(out + (w - n), out, static_cast<std::size_t>(n));
  std::fill_n(out, w - n, ' ');
  return out + w;
}

#if defined(__SIZEOF_INT128__)
#define EIGENSHOOT_FASTFIXED 1

__extension__ using uint128 = unsigned __int128;

// At most 16 decimals in a field of at most 32 columns; the values are set out below.
constexpr int maxfastdigits = 16;
constexpr int maxfastwidth = static_cast<int>(layoutslack);
constexpr auto powersof10 = [] {
  std::array<std::uint64_t, maxfastdigits + 1> p{1};
  for (std::size_t d = 1; d < p.size(); ++d) p[d] = p[d - 1] * 10;
  return p;
}();

// Decimal digits by lanes: the bytes of the result, in little-endian memory order, are the
// ASCII digits of c, the most significant first. Each step divides all lanes of a word at once:
// by 100 ((x * 10486) >> 20 is exact below 10^4), then by 10 ((x * 103) >> 10 is exact below 100).
std::uint32_t fourdigits(std::uint32_t c) {  // c < 10^4
  const std::uint32_t hundreds = (c * 10486) >> 20;
  const std::uint32_t pairs = ((c - 100 * hundreds) << 16) | hundreds;
  const std::uint32_t tens = ((pairs * 103) >> 10) & 0x000f000f;
  return tens + ((pairs - 10 * tens) << 8) + 0x30303030;
}

std::uint64_t eightdigits(std::uint32_t c) {  // c < 10^8
  const std::uint64_t lanes = (c / 10000) | (std::uint64_t{c % 10000} << 32);
  const std::uint64_t hundreds = ((lanes * 10486) >> 20) & 0x0000007f0000007f;
  const std::uint64_t pairs = ((lanes - 100 * hundreds) << 16) | hundreds;
  const std::uint64_t tens = ((pairs * 103) >> 10) & 0x000f000f000f000f;
  return tens + ((pairs - 10 * tens) << 8) + 0x3030303030303030;
}

// Writes the last n (at most 8) digits of c < 10^8 so that they end at p; returns their start.
// Up to 8 bytes before p are written.
char* lastdigits(char* p, std::uint32_t c, int n) {
  if (n > 4) {
    const std::uint64_t digits = eightdigits(c);
    std::memcpy(p - 8, &digits, 8);
  } else {
    const std::uint32_t digits = fourdigits(c);
    std::memcpy(p - 4, &digits, 4);
  }
  return p - n;
}

// Writes the text of v rounded to d decimals so that it ends at `end`, and returns its start;
// returns nullptr for values outside the common case or text longer than w. The zero before
// the point is left out when only that makes the text fit. Up to 8 bytes before the start may
// be overwritten.
//
// The common case is 2^-11 <= |v| < 2^53: then v = m * 2^-s exactly with 0 <= s <= 63, the
// integer part is m >> s, and the bits below the point, moved to the top of a 64-bit word,
// are a fraction f / 2^64 without loss. The decimals are the high word of f * 10^d, and the
// low word decides the rounding: above 2^63 rounds up, exactly 2^63 is a tie.
char* fasttext(char* end, double v, int d, int w) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  const int s = 1075 - static_cast<int>((bits >> 52) & 0x7ff);
  if (static_cast<unsigned>(s) > 63 || d > maxfastdigits || w > maxfastwidth) return nullptr;
  const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);

  std::uint64_t whole = m >> s;
  const std::uint64_t fraction = (m << 1) << (63 - s);
  const uint128 scaled = uint128{fraction} * powersof10[static_cast<std::size_t>(d)];
  auto decimals = static_cast<std::uint64_t>(scaled >> 64);
  // Round up above one half, and at one half when the last digit is odd (d = 0: whole's).
  const std::uint64_t rest = static_cast<std::uint64_t>(scaled), half = std::uint64_t{1} << 63;
  decimals += rest > half - ((d > 0 ? decimals : whole) & 1);
  if (decimals == powersof10[static_cast<std::size_t>(d)]) {
    decimals = 0;
    ++whole;
  }

  char* p = end;
  if (d > 8) {
    const std::uint64_t high = decimals / 100000000;
    p = lastdigits(p, static_cast<std::uint32_t>(decimals - high * 100000000), 8);
    decimals = high;
  }
  if (d > 0) p = lastdigits(p, static_cast<std::uint32_t>(decimals), d > 8 ? d - 8 : d);
  *--p = '.';
  const bool negative = (bits >> 63) != 0;
  if (whole < 10) {
    if (whole != 0 || d + 2 + negative <= w) *--p = static_cast<char>('0' + whole);
  } else {
    do *--p = static_cast<char>('0' + whole % 10);
    while ((whole /= 10) != 0);
  }
  if (negative) *--p = '-';
  return end - p > w ? nullptr : p;
}
#endif

}  // namespace

char* fixedfield(char* out, int w, int d, double v) {
#ifdef EIGENSHOOT_FASTFIXED
  if constexpr (std::endian::native == std::endian::little) {
    // The text is built right to left in scratch space and preceded by 32 blanks; the field is
    // its last w columns, copied as one fixed block of 32 bytes: the record has that much room
    // (layoutslack), and the columns past the field are overwritten by what follows.
    char scratch[3 * maxfastwidth];
    char* const end = scratch + 2 * maxfastwidth;
    if (char* start = fasttext(end, v, d, w)) {
      std::memset(start - maxfastwidth, ' ', maxfastwidth);
      std::memcpy(out, end - w, maxfastwidth);
      return out + w;
    }
  }
#endif
  return generalfield(out, w, d, v);
}

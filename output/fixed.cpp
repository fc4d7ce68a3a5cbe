// Fw.d fields: the exact decimal value of a double rounded to d decimals, to nearest with ties
// to even, right-justified in w columns, as std::to_chars(fixed, d) writes it but always with a
// decimal point.
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

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

// The common case: at most 16 decimals in a field of at most 32 columns.
constexpr int maxfastdigits = 16;
constexpr int maxfastwidth = static_cast<int>(layoutslack);

constexpr std::array<std::uint32_t, 5> power10 = {1, 10, 100, 1000, 10000};

// Decimal digits by lanes: the bytes of the result, in little-endian memory order, are the ASCII
// digits of each lane, the most significant first. Each step divides all lanes of a word at
// once: by 100 ((x * 10486) >> 20 is exact below 10^4), then by 10 ((x * 103) >> 10 is exact
// below 100).
std::uint32_t fourdigits(std::uint32_t c) {  // c < 10^4
  const std::uint32_t hundreds = (c * 10486) >> 20;
  const std::uint32_t pairs = ((c - 100 * hundreds) << 16) | hundreds;
  const std::uint32_t tens = ((pairs * 103) >> 10) & 0x000f000f;
  return tens + ((pairs - 10 * tens) << 8) + 0x30303030;
}

std::uint64_t eightdigits(std::uint32_t first, std::uint32_t second) {  // each below 10^4
  const std::uint64_t lanes = first | (std::uint64_t{second} << 32);
  const std::uint64_t hundreds = ((lanes * 10486) >> 20) & 0x0000007f0000007f;
  const std::uint64_t pairs = ((lanes - 100 * hundreds) << 16) | hundreds;
  const std::uint64_t tens = ((pairs * 103) >> 10) & 0x000f000f000f000f;
  return tens + ((pairs - 10 * tens) << 8) + 0x3030303030303030;
}

// The next n decimals of the binary fraction f / 2^64, as a number: the high word of f * 10^n.
// The low word is the fraction that remains.
std::uint32_t nextdecimals(std::uint64_t& f, std::uint32_t scale) {
  const uint128 product = uint128{f} * scale;
  f = static_cast<std::uint64_t>(product);
  return static_cast<std::uint32_t>(product >> 64);
}

// Fw.D for the common case, written straight into the field after `lead` blanks; returns
// nullptr for anything else. D is a template argument, so that each digit count gets
// straight-line code.
//
// The common case is 0 or 2^-11 <= |v| < 2^53: then v = m * 2^-s exactly with 0 <= s <= 63, the
// integer part is m >> s, and the bits below the point, moved to the top of a 64-bit word, are
// a fraction f / 2^64 without loss. Its decimals come four at a time, exactly, and the fraction
// left after the last of them decides the rounding: above one half rounds up, one half rounds
// to an even last digit. A carry out of the last group of decimals is left to the general
// conversion. The field is first filled with blanks by one fixed-size copy, then the text is
// written at its right end; the last group of digits is always written whole, and its extra
// digits spill into the room after the field (layoutslack), to be overwritten by what follows.
template <int D>
char* fastfield(char* out, int lead, int w, double v) {
  constexpr int groups = (D + 3) / 4, lastsize = D - 4 * (groups - 1);
  const auto bits = std::bit_cast<std::uint64_t>(v);
  const bool zero = (bits << 1) == 0;
  const int s = zero ? 0 : 1075 - static_cast<int>((bits >> 52) & 0x7ff);
  if (static_cast<unsigned>(s) > 63 || lead + w > maxfastwidth) return nullptr;
  const std::uint64_t m =
      zero ? 0 : (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);

  std::uint64_t whole = m >> s;
  std::uint64_t fraction = (m << 1) << (63 - s);
  std::array<std::uint32_t, groups + 1> decimals;
  for (int g = 0; g < groups; ++g) {
    decimals[g] = nextdecimals(fraction, g + 1 < groups ? 10000 : power10[lastsize]);
  }
  constexpr std::uint64_t half = std::uint64_t{1} << 63;
  if constexpr (groups == 0) {
    whole += fraction > half - (whole & 1);
  } else {
    std::uint32_t& last = decimals[groups - 1];
    last += fraction > half - (last & 1);
    if (last == power10[lastsize]) return nullptr;
    last *= power10[4 - lastsize];  // its digits first, as in every other group
  }

  const int negative = static_cast<int>(bits >> 63);
  int wholesize = 1;
  for (std::uint64_t rest = whole; rest >= 10; rest /= 10) ++wholesize;
  if (negative + wholesize + 1 + D > w) {  // only dropping a zero before the point may help
    if (whole != 0 || negative + 1 + D > w) return nullptr;
    wholesize = 0;
  }

  std::memcpy(out, layoutblanks, layoutslack);
  char* p = out + (lead + w - (negative + wholesize + 1 + D));
  *p = '-';
  p += negative;
  if (wholesize == 1) {
    *p = static_cast<char>('0' + whole);
  } else {
    for (char* digit = p + wholesize; digit != p; whole /= 10) {
      *--digit = static_cast<char>('0' + whole % 10);
    }
  }
  p += wholesize;
  *p++ = '.';
  for (int g = 0; g + 1 < groups; g += 2, p += 8) {
    const std::uint64_t digits = eightdigits(decimals[g], decimals[g + 1]);
    std::memcpy(p, &digits, 8);
  }
  if constexpr (groups % 2 == 1) {
    const std::uint32_t digits = fourdigits(decimals[groups - 1]);
    std::memcpy(p, &digits, 4);
  }
  return out + lead + w;
}

// One instance for each digit count of the common case, indexed by d.
using fastfieldfn = char* (*)(char*, int, int, double);
template <std::size_t... D>
constexpr std::array<fastfieldfn, sizeof...(D)> fastfieldtable(std::index_sequence<D...>) {
  return {&fastfield<static_cast<int>(D)>...};
}
constexpr auto fastfields = fastfieldtable(std::make_index_sequence<maxfastdigits + 1>{});
#endif

}  // namespace

char* fixedfield(char* out, int lead, int w, int d, double v) {
#ifdef EIGENSHOOT_FASTFIXED
  if constexpr (std::endian::native == std::endian::little) {
    if (static_cast<unsigned>(d) <= maxfastdigits) {
      if (char* end = fastfields[static_cast<std::size_t>(d)](out, lead, w, v)) return end;
    }
  }
#endif
  std::fill_n(out, lead, ' ');
  return generalfield(out + lead, w, d, v);
}

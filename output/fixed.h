// Writers of Fw.d fields: the exact decimal value of a double rounded to d decimals, to nearest
// with ties to even, right-justified in w columns, as std::to_chars(fixed, d) writes it but
// always with a decimal point. Each writes one field into blank columns that end at `end`. The
// writer of the common case is inline, so that a record laid out by code made for its format
// (units.h) writes its fields with no call.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "output/format.h"

namespace eigenshoot {

// Any field by the general conversion, over all its columns.
void slowfield(char* end, const descriptor& f, double v);

#ifdef EIGENSHOOT_INT128

namespace fixedparts {

__extension__ using uint128 = unsigned __int128;

// "00" to "99": the two digits of n at 2n and 2n + 1.
inline constexpr std::array<char, 200> digitpairs = [] {
  std::array<char, 200> pairs{};
  for (std::size_t n = 0; n < 100; ++n) {
    pairs[2 * n] = static_cast<char>('0' + n / 10);
    pairs[2 * n + 1] = static_cast<char>('0' + n % 10);
  }
  return pairs;
}();

// The next decimals of the binary fraction f / 2^64, as many as `scale` (10 or 100) holds: the
// high word of f * scale. The low word is the fraction that remains, exactly.
template <std::uint64_t scale>
std::size_t nextdecimals(std::uint64_t& f) {
  const uint128 product = uint128{f} * scale;
  f = static_cast<std::uint64_t>(product);
  return static_cast<std::size_t>(product >> 64);
}

inline constexpr std::uint64_t half = std::uint64_t{1} << 63;

// The D decimals of the binary fraction f / 2^64, exactly, in the D columns before `end`, two
// at a time. The fraction left after the last of them decides the rounding: above one half
// rounds up, one half rounds to an even last digit. Returns false, with the digits unrounded,
// when rounding up meets a nine in the last place.
template <int D>
bool decimals(char* end, std::uint64_t fraction) {
  char* digit = end - D;
  for (int k = 0; k < D / 2; ++k, digit += 2) {
    std::memcpy(digit, &digitpairs[2 * nextdecimals<100>(fraction)], 2);
  }
  if constexpr (D % 2 == 1) *digit = static_cast<char>('0' + nextdecimals<10>(fraction));
  if constexpr (D > 0) {
    if (fraction >= half) {
      const char last = end[-1];
      if (fraction != half || (last & 1) != 0) {  // '0' is even
        if (last == '9') return false;
        end[-1] = static_cast<char>(last + 1);
      }
    }
  }
  return true;
}

// Rounding up that met a nine in the last place: the nines become zeros and
// the digit before them goes up by one; a carry that needs a new column leaves the field to the
// general conversion.
void carry(char* end, const descriptor& f, double v);

// Fw.D as fastfield writes it, for every value that fastfield leaves: when v = m * 2^-s
// exactly with a 53-bit m and 1 <= s <= 63 (2^-11 <= |v| < 2^52), the integer part m >> s goes
// leftwards from the point, and the bits below the point, moved to the top of a 64-bit word, are
// the fraction without loss. An integer part that does not fit, and every other value, take the
// general conversion.
template <int D>
[[gnu::noinline]] void otherfield(char* end, const descriptor& f, double v) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  const int s = 1075 - static_cast<int>((bits >> 52) & 0x7ff);
  if (static_cast<unsigned>(s - 1) > 62) return slowfield(end, f, v);
  const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  std::uint64_t whole = m >> s;
  const std::uint64_t fraction = m << (64 - s);
  if constexpr (D == 0) whole += fraction > half - (whole & 1);
  char* const first = end - f.width;
  char* digit = end - D - 1;  // the point
  *digit = '.';
  do {
    if (digit == first) return slowfield(end, f, v);
    *--digit = static_cast<char>('0' + whole % 10);
  } while ((whole /= 10) != 0);
  if (bits >> 63 != 0) {
    if (digit == first) return slowfield(end, f, v);
    digit[-1] = '-';
  }
  if (!decimals<D>(end, fraction)) carry(end, f, v);
}

}  // namespace fixedparts

// Fw.D, written into blank columns before `end`. D is a template argument, so that each digit
// count gets straight-line code. It serves only fields that leave room for a sign and a digit
// before the point (see fixedwriter).
//
// The common case is 2^-7 <= |v| < 10: then |v| * 2^59 is an integer below 2^63, exactly (the
// last of the 53 bits of |v| is worth at least 2^-59), and converted in one step. Its top bits
// are the one digit before the point, and the bits below them, moved to the top of a 64-bit word,
// the fraction after it without loss. The decimals end where the field ends, and the point, the
// digit and the sign go just before them. Everything else (other values, a carry) is out of
// line, so that this path only jumps there and saves no registers.
template <int D>
inline void fastfield(char* end, const descriptor& f, double v) {
  const double magnitude = std::fabs(v);
  if (!(magnitude >= 0x1p-7 && magnitude < 10.0)) return fixedparts::otherfield<D>(end, f, v);
  const auto scaled = static_cast<std::uint64_t>(static_cast<std::int64_t>(magnitude * 0x1p59));
  std::uint64_t whole = scaled >> 59;
  const std::uint64_t fraction = scaled << 5;
  if constexpr (D == 0) {
    whole += fraction > fixedparts::half - (whole & 1);
    if (whole == 10) return fixedparts::otherfield<D>(end, f, v);
  }
  char* const point = end - D - 1;
  *point = '.';
  point[-1] = static_cast<char>('0' + whole);
  if (std::signbit(v)) point[-2] = '-';
  if (!fixedparts::decimals<D>(end, fraction)) fixedparts::carry(end, f, v);
}

#endif

}  // namespace eigenshoot

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

// "00" to "99": two decimal digits by one copy.
constexpr std::array<char, 200> digitpairs = [] {
  std::array<char, 200> pairs{};
  for (std::size_t n = 0; n < 100; ++n) {
    pairs[2 * n] = static_cast<char>('0' + n / 10);
    pairs[2 * n + 1] = static_cast<char>('0' + n % 10);
  }
  return pairs;
}();

// Rounding up carried into a run of nines that ends at `last`: the nines become zeros and the
// digit before them goes up by one. Returns false when every digit back to `first` is a nine.
bool carry(char* first, char* last) {
  for (char* digit = last; digit >= first; --digit) {
    if (*digit != '9') {
      ++*digit;
      return true;
    }
    *digit = '0';
  }
  return false;
}

// The integer part and the sign, written leftwards from the point, for what the common case
// in fastfield leaves: more than one digit, or too little room. The field starts at `field`;
// when the integer part does not fit there, only dropping a zero may help. Returns false when
// the field cannot be written so, and then writes nothing before `point`.
bool integerpart(char* field, char* point, std::uint64_t whole, int negative) {
  int size = 1;
  for (std::uint64_t n = whole; n >= 10; n /= 10) ++size;
  const auto room = static_cast<int>(point - field);
  if (negative + size > room) {
    if (whole != 0 || negative > room) return false;
    size = 0;
  }
  char* first = point;
  for (int k = 0; k < size; ++k, whole /= 10) *--first = static_cast<char>('0' + whole % 10);
  if (negative != 0) first[-1] = '-';
  return true;
}

// Fw.D for the common case, written straight into the field after `lead` blanks; returns
// nullptr for anything else. D is a template argument, so that each digit count gets
// straight-line code.
//
// The common case is 2^-11 <= |v| < 2^53: then v = m * 2^-s exactly with 0 <= s <= 63, the
// integer part is m >> s, and the bits below the point, moved to the top of a 64-bit word, are
// a fraction f / 2^64 without loss. Over a field first filled with blanks by one fixed-size
// copy, the point goes where the decimals begin (they end where the field ends), the integer
// part and the sign leftwards from it, and then the decimals, exactly, two at a time as the
// high word of f * 100, whose low word is the fraction that remains. The fraction left after
// the last of them decides the rounding: above one half rounds up, one half rounds to an even
// last digit. A carry that runs back through nines into the integer part is left to the general
// conversion.
template <int D>
char* fastfield(char* out, int lead, int w, double v) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  const int s = 1075 - static_cast<int>((bits >> 52) & 0x7ff);
  if (static_cast<unsigned>(s) > 63 || lead + w > maxfastwidth || w <= D) return nullptr;
  const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  std::uint64_t whole = m >> s;
  std::uint64_t fraction = (m << 1) << (63 - s);
  constexpr std::uint64_t half = std::uint64_t{1} << 63;
  if constexpr (D == 0) whole += fraction > half - (whole & 1);

  std::memcpy(out, layoutblanks, layoutslack);
  char* const end = out + lead + w;
  char* const point = end - D - 1;
  *point = '.';
  const int negative = static_cast<int>(bits >> 63);
  if (whole < 10 && negative + 1 < w - D) {
    point[-1] = static_cast<char>('0' + whole);
    if (negative != 0) point[-2] = '-';
  } else if (!integerpart(out + lead, point, whole, negative)) {
    return nullptr;
  }
  if constexpr (D > 0) {
    for (char* pair = point + 1; pair + 1 < end; pair += 2) {
      const uint128 product = uint128{fraction} * 100;
      fraction = static_cast<std::uint64_t>(product);
      std::memcpy(pair, &digitpairs[2 * static_cast<std::size_t>(product >> 64)], 2);
    }
    if constexpr (D % 2 == 1) {
      const uint128 product = uint128{fraction} * 10;
      fraction = static_cast<std::uint64_t>(product);
      end[-1] = static_cast<char>('0' + static_cast<int>(product >> 64));
    }
    if (fraction > half - (end[-1] & 1)) {  // '0' is even
      if (end[-1] != '9') {
        ++end[-1];
      } else if (!carry(point + 1, end - 1)) {
        return nullptr;
      }
    }
  }
  return end;
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

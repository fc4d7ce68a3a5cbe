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
#include <string>
#include <utility>

#include "output/format.h"
#include "output/texts.h"

namespace eigenshoot {

namespace {

// The general conversion, for every value; a point is added for d = 0.
std::to_chars_result generalfixed(char* first, char* last, double v, int d) {
  auto r = std::to_chars(first, last, v, std::chars_format::fixed, d);
  if (r.ec != std::errc{} || d > 0 || !std::isfinite(v)) return r;
  if (r.ptr == last) return {last, std::errc::value_too_large};
  *r.ptr++ = '.';
  return r;
}

// The field by the general conversion. The text is produced in place at the field's start and
// right-justified there. A text one column wider than the field is produced apart: it fits only
// by dropping the optional zero before the point; anything longer is w asterisks.
char* generalfield(char* out, int w, int d, double v) {
  const auto [end, ec] = generalfixed(out, out + w, v, d);
  if (ec != std::errc{}) {
    std::string wider(static_cast<std::size_t>(w) + 1, ' ');
    const auto [widerend, widerec] = generalfixed(wider.data(), wider.data() + w + 1, v, d);
    const std::size_t zero = wider[0] == '-' ? 1 : 0;  // position of the digit before the point
    if (widerec != std::errc{} || wider[zero] != '0' || wider[zero + 1] != '.') {
      return std::fill_n(out, w, '*');
    }
    wider.erase(zero, 1);
    return std::copy(wider.begin(), wider.end(), out);
  }
  const int n = static_cast<int>(end - out);
  std::memmove(out + (w - n), out, static_cast<std::size_t>(n));
  std::fill_n(out, w - n, ' ');
  return out + w;
}

// The whole field, its lead blanks first, by the general conversion. Out of line, as are the
// other rare paths below: the common path only jumps to them and so saves no registers.
[[gnu::noinline]] char* slowfield(char* out, const descriptor& f, double v) {
  std::fill_n(out, f.lead, ' ');
  return generalfield(out + f.lead, f.width, f.digits, v);
}

#ifdef EIGENSHOOT_INT128

__extension__ using uint128 = unsigned __int128;

// "000" to "999", each in four bytes: three decimal digits by one 4-byte copy, whose fourth
// byte lands on the column after them, to be overwritten by what follows; at the field's end,
// where nothing follows, by a 3-byte copy.
constexpr std::array<char, 4000> digittriples = [] {
  std::array<char, 4000> triples{};
  for (std::size_t n = 0; n < 1000; ++n) {
    triples[4 * n] = static_cast<char>('0' + n / 100);
    triples[4 * n + 1] = static_cast<char>('0' + n / 10 % 10);
    triples[4 * n + 2] = static_cast<char>('0' + n % 10);
  }
  return triples;
}();

// The next decimals of the binary fraction f / 2^64, as many as `scale` (10, 100 or 1000)
// holds: the high word of f * scale. The low word is the fraction that remains.
std::size_t nextdecimals(std::uint64_t& f, std::uint64_t scale) {
  const uint128 product = uint128{f} * scale;
  f = static_cast<std::uint64_t>(product);
  return static_cast<std::size_t>(product >> 64);
}

// v = m * 2^-s exactly, with a 53-bit m, for every normal double.
struct binary {
  std::uint64_t m;
  int s;
  explicit binary(std::uint64_t bits)
      : m((bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52)),
        s(1075 - static_cast<int>((bits >> 52) & 0x7ff)) {}
};

constexpr std::uint64_t half = std::uint64_t{1} << 63;

// Rounding up that meets a nine as the last digit of a field written by pointanddecimals: the
// nines become zeros and the digit before them goes up by one. A carry into a nine before the
// point leaves the field to the general conversion.
[[gnu::noinline]] char* carry(char* out, const descriptor& f, double v) {
  char* const end = out + f.lead + f.width;
  char* const point = end - f.digits - 1;
  char* digit = end - 1;
  while (digit != point && *digit == '9') *digit-- = '0';
  if (digit == point) --digit;
  if (*digit == '9') return slowfield(out, f, v);
  ++*digit;
  return end;
}

// The point and the D decimals of the binary fraction f / 2^64 after it, up to the field's
// end, exactly, three at a time as the high word of f * 1000, whose low word is the fraction that
// remains. The fraction left after the last of them decides the rounding: above one half rounds
// up, one half rounds to an even last digit. Returns the field's end.
template <int D>
char* pointanddecimals(char* out, const descriptor& f, double v, char* end,
                       std::uint64_t fraction) {
  char* digit = end - D;
  digit[-1] = '.';
  constexpr int spilling = D % 3 == 0 ? D / 3 - 1 : D / 3;  // triples with a column after them
  for (int k = 0; k < spilling; ++k, digit += 3) {
    std::memcpy(digit, &digittriples[4 * nextdecimals(fraction, 1000)], 4);
  }
  if constexpr (D % 3 == 0 && D > 0) {
    std::memcpy(digit, &digittriples[4 * nextdecimals(fraction, 1000)], 3);
  }
  if constexpr (D % 3 == 2)
    std::memcpy(digit, &digittriples[4 * nextdecimals(fraction, 100) + 1], 2);
  if constexpr (D % 3 == 1) *digit = static_cast<char>('0' + nextdecimals(fraction, 10));
  if constexpr (D > 0) {
    if (fraction > half - (end[-1] & 1)) {  // '0' is even
      if (end[-1] == '9') return carry(out, f, v);
      ++end[-1];
    }
  }
  return end;
}

// Fw.D as fastfield writes it, for an integer part of more than one digit (below 2^53), given
// with the fraction after it. The integer part and the sign go leftwards from the point; when
// they do not fit, the field goes to the general conversion.
template <int D>
[[gnu::noinline]] char* widefield(char* out, const descriptor& f, double v, std::uint64_t whole,
                                  std::uint64_t fraction) {
  shortblanks(out, static_cast<std::size_t>(f.lead + f.width));
  char* const field = out + f.lead;
  char* const end = field + f.width;
  char* first = end - D - 1;  // the point
  for (; whole != 0; whole /= 10) {
    if (first == field) return slowfield(out, f, v);
    *--first = static_cast<char>('0' + whole % 10);
  }
  if (std::signbit(v)) {
    if (first == field) return slowfield(out, f, v);
    first[-1] = '-';
  }
  return pointanddecimals<D>(out, f, v, end, fraction);
}

// Fw.D for the common case, written straight into the field after its lead blanks; anything
// else goes to the general conversion. D is a template argument, so that each digit count gets
// straight-line code. It serves only descriptors of at most 32 columns with their lead that
// leave room for a sign and a digit before the point (see fixedwriter).
//
// The common case is 2^-11 <= |v| < 10 once rounded: then v = m * 2^-s exactly with a 53-bit
// m and s <= 63, the integer part m >> s is one digit, and the bits below the point, moved to
// the top of a 64-bit word, are a fraction f / 2^64 without loss. Over a field first filled
// with blanks by two fixed-size copies, the decimals end where the field ends, and the point, the
// digit and the sign go just before them. Everything that the common case does not need (a
// longer integer part, a carry into it, other values) is out of line, so that this path only
// jumps there and saves no registers.
template <int D>
char* fastfield(char* out, const descriptor& f, double v) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  const binary b(bits);
  if (static_cast<unsigned>(b.s) > 63) return slowfield(out, f, v);
  std::uint64_t whole = b.m >> b.s;
  const std::uint64_t fraction = (b.m << 1) << (63 - b.s);
  if constexpr (D == 0) whole += fraction > half - (whole & 1);
  if (whole >= 10) return widefield<D>(out, f, v, whole, fraction);

  char* const end = shortblanks(out, static_cast<std::size_t>(f.lead + f.width));
  char* const point = end - D - 1;
  point[-1] = static_cast<char>('0' + whole);
  if (bits >> 63 != 0) point[-2] = '-';
  return pointanddecimals<D>(out, f, v, end, fraction);
}

// One instance for each digit count of the common case, indexed by d, and the general
// conversion last.
template <std::size_t... D>
constexpr std::array<fieldwriter, fastdigits + 2> writertable(std::index_sequence<D...>) {
  return {&fastfield<static_cast<int>(D)>..., &slowfield};
}
#else
// Without a 128-bit integer type every field takes the general conversion.
template <std::size_t... D>
constexpr std::array<fieldwriter, fastdigits + 2> writertable(std::index_sequence<D...>) {
  return {(static_cast<void>(D), &slowfield)..., &slowfield};
}
#endif

}  // namespace

constinit const std::array<fieldwriter, fastdigits + 2> fieldwriters =
    writertable(std::make_index_sequence<fastdigits + 1>{});

}  // namespace eigenshoot

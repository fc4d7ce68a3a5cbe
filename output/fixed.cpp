// Fw.d fields by the general conversion, for every value, and the writers' table.
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "output/fixed.h"
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

}  // namespace

// Out of line, as are the other rare paths: the common path only jumps to them and so saves no
// registers.
[[gnu::noinline]] void slowfield(char* end, const descriptor& f, double v) {
  generalfield(end - f.width, f.width, f.digits, v);
}

namespace {

#ifdef EIGENSHOOT_INT128
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

#ifdef EIGENSHOOT_INT128
// Rounding up that meets nines at the end of a field: they become zeros and the digit before
// them goes up by one. A carry that would need a new column leaves the field to the general
// conversion.
[[gnu::noinline]] void fixedparts::carry(char* end, const descriptor& f, double v) {
  for (int k = 1; k <= f.width; ++k) {
    char& c = end[-k];
    if (c == '9') {
      c = '0';
    } else if (c >= '0' && c <= '8') {
      ++c;
      return;
    } else if (c != '.') {
      break;
    }
  }
  slowfield(end, f, v);
}
#endif

constinit const std::array<fieldwriter, fastdigits + 2> fieldwriters =
    writertable(std::make_index_sequence<fastdigits + 1>{});

}  // namespace eigenshoot

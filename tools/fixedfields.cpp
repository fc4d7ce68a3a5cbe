// eigenshoot-fixedfields [COUNT]: checks COUNT (100 million unless given) random Fw.d fields
// against std::to_chars. Each field must be the text of std::to_chars(fixed, d), a point added for
// d = 0, right-justified in w columns, its zero before the point dropped when only that makes it
// fit, and w asterisks when even that does not. The fields are laid out by records of one
// field after a blank, for d = 0 to 20 and w = d + 1 to d + 25 and 60, and one in eight also by
// the program's own records, laid out by the code made for them. The values come from every
// magnitude, with few bits after the point (ties), next to a rounding boundary (nines, halves),
// and any bits at all (infinities, NaNs, subnormals). Exit status 1 at the first difference.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "output/units.h"
#include "solver/parameters.h"

namespace {

using namespace eigenshoot;

std::uint64_t state = 20161207;
std::uint64_t next() {  // splitmix64
  std::uint64_t z = state += 0x9e3779b97f4a7c15;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
  z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
  return z ^ (z >> 31);
}

double value() {
  const std::uint64_t r = next(), sign = r & 1 ? std::uint64_t{1} << 63 : 0;
  switch (r >> 1 & 3) {
    case 0: {  // |v| from 2^-70 to 2^66, every mantissa
      const std::uint64_t exponent = 1023 - 70 + (r >> 8) % 137;
      return std::bit_cast<double>(sign | exponent << 52 | (next() >> 12));
    }
    case 1:  // few bits after the point: exact ties
      return std::ldexp(static_cast<double>(next() >> 40), -static_cast<int>((r >> 8) % 31)) *
             (sign != 0 ? -1.0 : 1.0);
    case 2: {  // next to a decimal boundary: a half or a run of nines at some decimal place
      const std::uint64_t p = (r >> 8) % 18, scale = static_cast<std::uint64_t>(std::pow(10.0, p));
      const double boundary = (r >> 16 & 1 ? static_cast<double>(next() % scale) + 0.5
                                           : static_cast<double>(scale) - 0.5) /
                              std::pow(10.0, static_cast<double>((r >> 20) % 21));
      double v = boundary;
      for (std::uint64_t k = (r >> 28) % 3; k-- > 0;)
        v = std::nextafter(v, r >> 32 & 1 ? 1e300 : 0.0);
      return sign != 0 ? -v : v;
    }
    default:  // any bits
      return std::bit_cast<double>(next());
  }
}

// The field as std::to_chars writes the value.
std::string reference(double v, int w, int d) {
  char digits[400];
  std::string text(
      digits, std::to_chars(digits, digits + sizeof digits, v, std::chars_format::fixed, d).ptr);
  if (d == 0 && std::isfinite(v)) text += '.';
  const std::size_t zero = text[0] == '-';
  if (text.size() == static_cast<std::size_t>(w) + 1 && text.compare(zero, 2, "0.") == 0) {
    text.erase(zero, 1);
  }
  if (text.size() > static_cast<std::size_t>(w))
    return std::string(static_cast<std::size_t>(w), '*');
  return std::string(static_cast<std::size_t>(w) - text.size(), ' ') + text;
}

bool same(const std::string& text, const std::string& got, const std::string& want, double v) {
  if (got == want) return true;
  std::fprintf(stderr, "eigenshoot-fixedfields: %s of %a (%.17g): \"%s\", not \"%s\"\n",
               text.c_str(), v, v, got.c_str(), want.c_str());
  return false;
}

// A record of the program laid out by the code made for its format, against its fields' text,
// each put where its field ends in the format's blank form.
template <const format& F, class... T>
bool compiledsame(double v, T... items) {
  char record[blankformcolumns + 1];
  record[F.width()] = '?';
  std::string got(record, compiledlayout<F>(record, std::index_sequence_for<T...>{}, items...));
  if (record[F.width()] != '?') got += " and a byte after it";
  std::string want(F.blankform(), static_cast<std::size_t>(F.width()));
  std::size_t k = 0;
  for (const item it : {item(items)...}) {
    const descriptor& d = F.fields()[k++];
    const std::string field =
        it.what == item::kind::real ? reference(it.r, d.width, d.digits) : std::to_string(it.i);
    want.replace(static_cast<std::size_t>(d.end) - field.size(), field.size(), field);
  }
  return same(std::string(F.text()), got, want, v);
}

}  // namespace

int main(int argc, char** argv) {
  const long long count = argc > 1 ? std::atoll(argv[1]) : 100000000;
  std::vector<std::string> texts;
  std::vector<format> formats;
  texts.reserve(21 * 26);
  for (int d = 0; d <= 20; ++d) {
    for (int w = d + 1; w <= d + 26; ++w) {  // the last is 60 wide
      texts.push_back("(1X, F" + std::to_string(w == d + 26 ? 60 : w) + "." + std::to_string(d) +
                      ")");
      formats.push_back(format::made(texts.back()));
    }
  }
  char record[64];
  for (long long n = 0; n < count; ++n) {
    const double v = value();
    const std::size_t which = next() % formats.size();
    const format& f = formats[which];
    const item items[] = {v};
    record[f.width()] = '?';
    std::string got(record, layout(record, f, items));
    if (record[f.width()] != '?') got += " and a byte after it";
    if (!same(texts[which], got, ' ' + reference(v, f.fields()[0].width, f.fields()[0].digits),
              v) ||
        (n % 8 == 0 && !(compiledsame<samplerecord>(v, next() % 2 ? v : -v, value()) &&
                         compiledsame<logpass>(v, static_cast<int>(next() % maxpasses), v)))) {
      return 1;
    }
  }
  std::printf("%lld random F fields as std::to_chars writes them\n", count);
  return 0;
}

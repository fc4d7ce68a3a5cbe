#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "output/output.h"
#include "testdir.h"

namespace {

// The record, checked to be exactly as wide as its format text promises.
std::string formatted(std::string_view text, std::vector<item> items) {
  const format f(text);
  std::string record(static_cast<std::size_t>(f.width()) + layoutslack, '?');
  record.resize(static_cast<std::size_t>(layout(record.data(), f, items) - record.data()));
  EXPECT_EQ(record.size(), static_cast<std::size_t>(f.width())) << text;
  return record;
}

std::string padded(std::string_view text, std::size_t width) {
  return std::string(width - text.size(), ' ').append(text);
}

TEST(Records, FormattedLayouts) {
  const struct {
    const char* text;
    std::vector<item> items;
    std::string want;
  } rows[] = {
      {"(4x, '#N', 16x, 'E')", {}, "    #N                E"},
      {"(I6, 2X, F24.16)", {1, 9.8245171785240046}, "     1        9.8245171785240046"},
      {"(F24.12, 2X, F24.12)",
       {0.0, -0.25},
       padded("0.000000000000", 24) + "  " + padded("-0.250000000000", 24)},
      {" ( 2x ,'a,b' ,i3, f6.2 ) ", {7, 2.5}, "  a,b  7  2.50"},
      {"(I6)", {-12345}, "-12345"},
      {"(I6)", {1234567}, "******"},
      {"(F24.12)", {-1.0e-14}, padded("-0.000000000000", 24)},  // the sign stays
      {"(F24.12)", {-0.0}, padded("-0.000000000000", 24)},
      {"(F24.16)", {1.0e8}, std::string(24, '*')},
      {"(F24.12)", {0.9999999999996}, padded("1.000000000000", 24)},
      {"(F4.3)", {0.123}, ".123"},  // the zero before the point gives way when room is short
      {"(F5.3)", {-0.5}, "-.500"},
      {"(F4.3)", {1.5}, "****"},
      {"(F5.1)", {std::numeric_limits<double>::infinity()}, "  inf"},
  };
  for (const auto& r : rows) EXPECT_EQ(formatted(r.text, r.items), r.want) << r.text;
}

// F fields are the exact decimal value rounded to nearest, ties to even, as std::to_chars
// writes it, over the whole range of magnitudes and digit counts, always with a point; a text
// one column too wide loses the zero before the point, a longer one gives asterisks.
TEST(Records, FixedFieldsAreExactDecimalRounding) {
  std::mt19937_64 random(20161207);
  std::vector<double> values = {
      0.125, 0.375, 2.5, 3.5, 5e-324, 9007199254740991.0, 9007199254740994.0, 1e22, -0.0};
  for (int n = 0; n < 20000; ++n) {
    const double mantissa = std::uniform_real_distribution<double>(-1.0, 1.0)(random);
    values.push_back(std::ldexp(mantissa, static_cast<int>(random() % 140) - 80));
  }
  for (double v : values) {
    for (int d = 0; d <= 20; ++d) {
      char digits[400];
      std::string text(
          digits,
          std::to_chars(digits, digits + sizeof digits, v, std::chars_format::fixed, d).ptr);
      if (d == 0) text += '.';
      for (const int w : {24, 32, 60}) {
        std::string want = padded(text, std::max<std::size_t>(text.size(), w));
        const std::size_t zero = text[0] == '-';
        if (want.size() == w + 1u && text.compare(zero, 2, "0.") == 0) want.erase(zero, 1);
        if (want.size() > static_cast<std::size_t>(w)) want.assign(w, '*');
        ASSERT_EQ(formatted("(F" + std::to_string(w) + "." + std::to_string(d) + ")", {v}), want)
            << v;
      }
    }
  }
}

TEST(Records, MalformedTextsAndMismatchedItems) {
  for (const char* bad : {"I6", "[I6)", "(I6", "(I6 2X)", "(Q3)", "(2Q, I6)", "(F5)", "(F5,2)",
                          "(F5.5)", "(0X)", "(I)", "(I0)", "('abc)", "(I6) x"}) {
    EXPECT_THROW(format{bad}, std::invalid_argument) << bad;
  }
  for (const auto& items : std::vector<std::vector<item>>{{1}, {1, 2.0, 3.0}, {1.0, 2.0}}) {
    EXPECT_THROW(formatted("(I6, 2X, F24.16)", items), std::invalid_argument);
  }
}

TEST(Records, ListDirected) {
  const std::vector<std::pair<std::vector<item>, std::string>> rows = {
      {{}, ""},
      {{"Valor IM no valid"}, " Valor IM no valid"},
      {{"#E= ", 9.830165419897869}, " #E= 9.830165419897869"},  // shortest form that reads back
      {{0.1, -2.0}, " 0.1 -2"},
  };
  for (const auto& [items, want] : rows) {
    std::string record(listedsize(items), '?');
    EXPECT_EQ(std::string(record.data(), listed(record.data(), items)), want);
  }
}

// Two file units written in turn over several buffers' worth of records each keep exactly their
// own records. Each record starts with a mark and ends in blanks that the layout writes past
// its end, so a unit that wrote into its neighbour's buffer would change the neighbour's file.
TEST(Units, InterleavedFilesKeepTheirOwnRecords) {
  testdir dir;
  const std::string names[] = {(dir.path / "one").string(), (dir.path / "two").string()};
  openunit(1, names[0].c_str());
  openunit(2, names[1].c_str());
  EXPECT_THROW(openunit(2, names[1].c_str()), std::invalid_argument);
  const format texts[] = {format("('x', I6, 1X)"), format("('y', I5, 1X)")};
  std::string want[2];
  for (std::uint32_t k = 0, mix = 1; k < 600000; ++k, mix = mix * 1103515245 + 12345) {
    const int unit = 1 + static_cast<int>(k % 2), which = static_cast<int>(mix >> 31);
    writefmt(unit, texts[which], static_cast<int>(k % 10000));
    char record[80];
    const item number[] = {static_cast<int>(k % 10000)};
    want[unit - 1].append(record, layout(record, texts[which], number)) += '\n';
  }
  closeunit(1);
  closeunit(1);  // a closed unit stays closed
  closeunit(2);
  EXPECT_TRUE(slurp(names[0]) == want[0] && slurp(names[1]) == want[1]);
}

}  // namespace

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "output/output.h"

namespace {

std::string formatted(std::string_view text, std::vector<item> items) {
  const format f(text);
  std::string record(static_cast<std::size_t>(f.width()) + 1, '?');
  record.resize(static_cast<std::size_t>(layout(record.data(), f, items) - record.data()));
  EXPECT_EQ(record.size(), static_cast<std::size_t>(f.width()));
  return record;
}

std::string listdirected(std::vector<item> items) {
  std::string record(listedsize(items), '?');
  record.resize(static_cast<std::size_t>(listed(record.data(), items) - record.data()));
  return record;
}

std::string padded(std::string_view text, std::size_t width) {
  return std::string(width - text.size(), ' ') + std::string(text);
}

TEST(Records, ProgramLayouts) {
  EXPECT_EQ(formatted("(4x, '#N', 16x, 'E')", {}), "    #N                E");
  EXPECT_EQ(formatted("(I6, 2X, F24.16)", {1, 9.8245171785240046}),
            "     1        9.8245171785240046");
  EXPECT_EQ(formatted("(F24.12, 2X, F24.12)", {0.0, -0.25}),
            padded("0.000000000000", 24) + "  " + padded("-0.250000000000", 24));
}

TEST(Records, FieldEdges) {
  const double inf = std::numeric_limits<double>::infinity();
  struct row {
    const char* text;
    item value;
    std::string want;
  };
  const row rows[] = {
      {"(I6)", 1, "     1"},
      {"(I6)", -12345, "-12345"},
      {"(I6)", 1234567, "******"},
      {"(I2)", -10, "**"},
      {"(F24.12)", -1.0e-14, padded("-0.000000000000", 24)},  // keeps its sign
      {"(F24.12)", -0.0, padded("-0.000000000000", 24)},
      {"(F24.16)", 1.0e8, std::string(24, '*')},
      {"(F24.16)", 9.9999999e6, "9999999.9000000003725290"},  // exact decimal expansion
      {"(F24.20)", 0.1, "  0.10000000000000000555"},
      {"(F24.12)", 0.9999999999996, padded("1.000000000000", 24)},  // rounds up across the point
      {"(F4.3)", 0.5, ".500"},  // the zero before the point gives way when room is short
      {"(F5.3)", -0.5, "-.500"},
      {"(F4.3)", 1.5, "****"},
      {"(F5.1)", inf, "  inf"},
  };
  for (const row& r : rows) EXPECT_EQ(formatted(r.text, {r.value}), r.want) << r.text;
}

// F fields are the exact decimal value rounded to nearest (ties to even), as std::to_chars
// writes it, over the whole range of magnitudes and digit counts, with the point always shown.
TEST(Records, FixedFieldsAreExactDecimalRounding) {
  std::mt19937_64 random(20161207);
  std::vector<double> values = {
      0.125, 0.375,  2.5, 3.5, -0.5, 5e-324, 9007199254740991.0, 9007199254740994.0,
      1e22,  -1e-14, 0.0, -0.0};
  for (int n = 0; n < 20000; ++n) {
    const double mantissa = std::uniform_real_distribution<double>(-1.0, 1.0)(random);
    values.push_back(std::ldexp(mantissa, static_cast<int>(random() % 140) - 80));
  }
  for (double v : values) {
    for (int d = 0; d <= 20; ++d) {
      char want[400];
      std::string text(want,
                       std::to_chars(want, want + sizeof want, v, std::chars_format::fixed, d).ptr);
      if (d == 0) text += '.';
      if (text.size() > 60) continue;
      const std::string field = formatted("(F60." + std::to_string(d) + ")", {v});
      ASSERT_EQ(field, padded(text, 60)) << v << " " << d;
    }
  }
}

TEST(Records, FormatTextSyntax) {
  EXPECT_EQ(formatted(" ( 2x ,'a,b' ,i3, f6.2 ) ", {7, 2.5}), "  a,b  7  2.50");
  EXPECT_EQ(format("(4x, '#N', 16x, 'E')").width(), 23);
  EXPECT_EQ(format("(F24.12, 2X, F24.12)").width(), 50);
  for (const char* bad :
       {"I6", "(I6", "(I6 2X)", "(Q3)", "(F5)", "(F5.5)", "(0X)", "(I)", "('abc)", "(I6) x"}) {
    EXPECT_THROW(format{bad}, std::invalid_argument) << bad;
  }
}

TEST(Records, ItemsMustMatchDescriptors) {
  const format f("(I6, 2X, F24.16)");
  char out[64];
  const std::vector<std::vector<item>> wrong = {{1}, {1, 2.0, 3.0}, {1.0, 2.0}, {1, 2}};
  for (const auto& items : wrong) EXPECT_THROW(layout(out, f, items), std::invalid_argument);
}

TEST(Records, ListDirected) {
  EXPECT_EQ(listdirected({}), "");
  EXPECT_EQ(listdirected({"Valor IM no valid"}), " Valor IM no valid");
  EXPECT_EQ(listdirected({"#E= ", 9.830165419897869}), " #E= 9.830165419897869");
  EXPECT_EQ(listdirected({1.5, -2.0}), " 1.5 -2");
  EXPECT_EQ(listdirected({7}), " 7");
}

TEST(Records, ListDirectedRealsReadBackExactly) {
  const double values[] = {0.1,       1.0 / 3.0, 44.29561291406882,
                           -1.0e-300, 5e-324,    1.7976931348623157e308};
  for (double v : values) {
    const std::string record = listdirected({v});
    ASSERT_EQ(record[0], ' ');
    double back = 0.0;
    std::from_chars(record.data() + 1, record.data() + record.size(), back);
    EXPECT_EQ(back, v) << record;
  }
}

}  // namespace

// The texts about a run: values filled in from the run parameters, and the usage texts of both
// commands wrapped to fit an 80-column terminal whatever the values; and text from outside
// made safe for a terminal.
#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

#include "output/format.h"
#include "output/terminal.h"
#include "output/texts.h"
#include "solver/parameters.h"
#include "solver/runtext.h"

namespace eigenshoot {
namespace {

TEST(Texts, ValuesFilledIn) {
  const std::array<double, 2> a = {9.5, 39.0}, b = {9.6, 1e21};
  const std::array<namedvalue, 4> values{{{"n", 500}, {"tol", 1e-8}, {"a", 0.0, a}, {"b", 0.0, b}}};
  EXPECT_EQ(filled("{n} steps below {tol}; {a}; {a and b}.", values),
            "500 steps below 1e-8; 9.5, 39; 9.5 and 9.6, 39 and 1e21.");
  EXPECT_EQ(filled("{tol}{n}", std::array<namedvalue, 2>{{{"tol", 2.5e-300}, {"n", -0.0}}}),
            "2.5e-300-0");
  for (const char* wrong : {"{m}", "{n", "{a and n}"}) {
    EXPECT_THROW(filled(wrong, values), std::invalid_argument) << wrong;
  }
}

TEST(Texts, WrappedAtBlanks) {
  EXPECT_EQ(wrapped("aaa bbb\nccc dddd\n\n  -x, --long  one two three\n", 11),
            "aaa bbb ccc\ndddd\n\n  -x, --long  one\n              two\n              three\n");
  // A word longer than a line stands alone; an item's continuation line is joined to it.
  EXPECT_EQ(wrapped("a abcdefghijkl b\n  f  x\n     y\n  g\n", 8),
            "a\nabcdefghijkl\nb\n  f  x y\n  g\n");
  EXPECT_EQ(wrapped("x h = 1 - 0 y\n", 6), "x\nh = 1 - 0\ny\n");  // a formula kept whole
}

// Every line of both usage texts fits, every value is filled in, and the values shown are the
// ones the program computes with.
TEST(Texts, UsageFitsEightyColumns) {
  for (const char* usage : {usagetext, plotusagetext}) {
    const std::string text = wrapped(filled(usage, runvalues), helpcolumns);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      EXPECT_LE(line.size(), 80u) << line;
      EXPECT_EQ(line.find_first_of("{}"), std::string::npos) << line;
    }
    EXPECT_NE(text.find("L = " + std::to_string(npts) + " h"), std::string::npos) << text;
    EXPECT_NE(text.find("the " + std::to_string(neig) + " "), std::string::npos) << text;
  }
}

// Control characters (C0, DEL, C1 raw or in UTF-8) and bytes of no UTF-8 character (an overlong
// form, a surrogate, above U+10FFFF, a lead byte above F4, a sequence cut short) are shown as
// octal escapes; every other character stays, at the edges of each range too.
TEST(Texts, EscapedForATerminal) {
  const std::pair<const char*, const char*> cases[] = {
      {"\033[31m\177x", "\\033[31m\\177x"},
      {"\302\233\302\237\233", "\\302\\233\\302\\237\\233"},             // U+009B, U+009F, raw 9B
      {"\302\240caf\303\251", "\302\240caf\303\251"},                    // U+00A0, é
      {"\340\240\200\364\217\277\277", "\340\240\200\364\217\277\277"},  // U+0800, U+10FFFF
      {"\340\237\277\355\240\200", "\\340\\237\\277\\355\\240\\200"},
      {"\364\220\200\200\365\200\200\200\303", "\\364\\220\\200\\200\\365\\200\\200\\200\\303"},
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(escaped(text), shown) << shown;
}

}  // namespace
}  // namespace eigenshoot

// Record layouts and output units; the texts about a run: values filled in from the run
// parameters, and the usage texts of both commands wrapped to fit an 80-column terminal whatever
// the values; and text from outside made safe for a terminal.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "output/format.h"
#include "output/terminal.h"
#include "output/texts.h"
#include "output/units.h"
#include "solver/parameters.h"
#include "solver/runtext.h"
#include "testdir.h"

namespace eigenshoot {
namespace {

// The record, checked to be exactly as wide as its format text promises and to leave every
// byte after it as it was.
std::string formatted(std::string_view text, std::vector<item> items) {
  const format f = format::made(text);
  const std::size_t width = static_cast<std::size_t>(f.width()), after = 40;
  std::string record(width + after, '?');
  const char* const end = layout(record.data(), f, items);
  EXPECT_EQ(end - record.data(), f.width()) << text;
  EXPECT_EQ(record.substr(width), std::string(after, '?')) << text;
  record.resize(width);
  return record;
}

// Records by format texts, and in list-directed form (no text), where reals take the shortest
// form that reads back as the same double.
TEST(Records, Layouts) {
  // clang-format off
  const struct { const char* text; std::vector<item> items; std::string want; } rows[] = {
      // clang-format on
      {"(4x, '#N', 16x, 'E')", {}, "    #N                E"},
      {"(I6, 2X, F24.16)", {1, 9.8245171785240046}, "     1        9.8245171785240046"},
      {" ( 2x ,'a,b' ,i3, 60x, f6.2 ) ", {-7, 2.5}, "  a,b -7" + std::string(62, ' ') + "2.50"},
      {"(I6, I2)", {1234567, 12}, "******12"},
      {"(F15.12, F15.12)", {-1e-14, -0.0}, "-0.000000000000-0.000000000000"},  // the signs stay
      // Ties to even, carries through nines (above and below 2^-7), a small value whose last bits
      // decide its rounding, values too wide or with no room for a sign, no decimals, no zero.
      {"(F5.2, F5.2, F5.1, F8.5, F19.16, F5.1, F5.1, F6.1, F3.0, F4.2)",
       {0.125, 0.375, 9.96, 0.0039996, -0x1.9b563129ddc23p-8, -12.25, 1234.5, -1234.5, 9.5, -0.5},
       " 0.12 0.38 10.0 0.00400-0.0062764997509169-12.2***********10.-.50"},
      {"(F5.1)", {std::numeric_limits<double>::infinity()}, "  inf"},
      {nullptr, {}, ""},
      {nullptr, {"#E= ", 9.830165419897869}, " #E= 9.830165419897869"},
      {nullptr, {0.1, -2.0, 3}, " 0.1 -2 3"},
  };
  for (const auto& r : rows) {
    std::string list(listedsize(r.items), '?');
    list.resize(static_cast<std::size_t>(listed(list.data(), r.items) - list.data()));
    EXPECT_EQ(r.text != nullptr ? formatted(r.text, r.items) : list, r.want);
  }
  // A malformed text made at run time, and items that do not match the text.
  EXPECT_THROW(format::made("(I6, 2X, F24.16"), std::invalid_argument);
  for (const auto& items : std::vector<std::vector<item>>{{1}, {1, 2.0, 3.0}, {1.0, 2.0}})
    EXPECT_THROW(formatted("(I6, 2X, F24.16)", items), std::invalid_argument);
}

// Malformed format texts do not compile, and made at run time they throw; the widest fields
// are accepted.
static_assert([] {
  for (const char* bad : {"I6", "[I6)", "(I6", "(I6 2X)", "(Q3)", "(2Q, I6)", "(F5)", "(F5,2)",
                          "(F5.)", "(F5.5)", "(0X)", "(I)", "(I0)", "(I100000)", "('abc)", "(I6) x",
                          "(I1,I1,I1,I1,I1,I1,I1,I1,I1,I1,I1,I1,I1,I1,I1,I1,I1)"}) {
    if (format::fault(bad) == nullptr) return false;
  }
  return format("(I99999, F99999.2)").width() == 199998 &&
         format("(I1,I1,I1,I1,I1,I1,I1,I1,I1,I1,I1,I1,I1,I1,I1,I1)").width() == 16;
}());

// Two file units written in turn over several buffers' worth of records each keep exactly their
// own records. Each record starts with a mark and ends in blanks that the layout writes past
// its end, so a unit that wrote into its neighbour's buffer would change the neighbour's file.
TEST(Units, InterleavedFilesKeepTheirOwnRecords) {
  testdir dir;
  const std::string names[] = {(dir.path / "one").string(), (dir.path / "two").string()};
  for (int unit : {1, 2}) openunit(unit, names[unit - 1].c_str());
  for (int unit : {2, 6}) EXPECT_THROW(openunit(unit, names[1].c_str()), std::invalid_argument);
  const format texts[] = {format("('x', I6, 1X)"), format("('y', I5, 1X)")};
  std::string want[2];
  for (std::uint32_t k = 0, mix = 1; k < 600000; ++k, mix = mix * 1103515245 + 12345) {
    const int unit = 1 + static_cast<int>(k % 2), which = static_cast<int>(mix >> 31);
    writefmt(unit, texts[which], static_cast<int>(k % 10000));
    char record[80];
    const item number[] = {static_cast<int>(k % 10000)};
    want[unit - 1].append(record, layout(record, texts[which], number)) += '\n';
  }
  for (int unit : {1, 1, 2}) closeunit(unit);  // a closed unit stays closed
  // Nor is a unit opened on another's file once that one is closed: a name may change between
  // a run's claim of its files and their opening.
  const std::string link = (dir.path / "link").string();
  std::filesystem::create_symlink(names[1], link);
  EXPECT_EQ(refusal([&] { openunit(1, link.c_str()); }), link + ": same file as " + names[1]);
  EXPECT_TRUE(slurp(names[0]) == want[0] && slurp(names[1]) == want[1]);
  const mode_t mask = umask(0);  // a new file may be read and written by all the umask allows
  umask(mask);
  EXPECT_EQ(std::filesystem::status(names[0]).permissions(), std::filesystem::perms(0666 & ~mask));
}

TEST(Texts, ValuesFilledIn) {
  const std::array<double, 2> a = {9.5, 39.0}, b = {9.6, 1e21};
  const std::array<namedvalue, 4> values{{{"n", 500}, {"tol", 1e-8}, {"a", 0.0, a}, {"b", 0.0, b}}};
  EXPECT_EQ(filled("{n} steps below {tol}; {a}; {a and b}.", values),
            "500 steps below 1e-8; 9.5, 39; 9.5 and 9.6, 39 and 1e21.");
  EXPECT_EQ(filled("{tol}{n}", std::array<namedvalue, 2>{{{"tol", 2.5e-300}, {"n", -0.0}}}),
            "2.5e-300-0");
  for (const char* wrong : {"{m}", "{n", "{a and n}"})
    EXPECT_THROW(filled(wrong, values), std::invalid_argument) << wrong;
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
    for (std::string line; std::getline(lines, line);)  // fits, and every value filled in
      EXPECT_TRUE(line.size() <= 80 && line.find_first_of("{}") == std::string::npos) << line;
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
      // The bidirectional controls U+202A, U+202E, U+2066 and U+2069; not U+2029 or U+2070.
      {"\342\200\252\342\200\256\342\201\246\342\201\251\342\200\251\342\201\260",
       "\\342\\200\\252\\342\\200\\256\\342\\201\\246\\342\\201\\251\342\200\251\342\201\260"},
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(escaped(text), shown) << shown;
}

}  // namespace
}  // namespace eigenshoot

// The reader of the two files, on the reference outputs and on every kind of fault, and the
// data that the plot command draws from them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "plot/plot.h"
#include "reader/reader.h"
#include "testdir.h"

namespace eigenshoot {
namespace {

const std::string eigentext = slurp(EIGENSHOOT_GOLDEN "/apartat4.dat");
const std::string logtext = slurp(EIGENSHOOT_GOLDEN "/Q7-2016-res.dat");

// The text with line `line` (from 1) replaced, or deleted when `by` is null; line 0 appends.
std::string edited(std::string text, int line, const char* by) {
  std::size_t at = 0;
  for (int n = 1; n < line; ++n) at = text.find('\n', at) + 1;
  const std::size_t end = line == 0 ? (at = text.size()) : text.find('\n', at) + 1;
  return text.replace(at, end - at, by == nullptr ? "" : std::string(by) + "\n");
}

// The files of a run read back, with every number as the program wrote it.
TEST(Reader, ReadsTheFilesOfARun) {
  runfiles run;
  readeigenfile(eigentext, run);
  readlogfile(logtext, run);
  matchfiles(run);
  EXPECT_EQ(run.blocks[0].E, 9.830165419897869);
  EXPECT_EQ(run.blocks[2].value[npts - 1], -0.000000002586);
  EXPECT_EQ(run.searches[0].estimate,
            (std::vector{9.8245171785240046, 9.8300673706504220, 9.8301654198978685}));
  EXPECT_EQ(run.searches[2].lastline, 12);
}

TEST(Reader, RefusesEveryFault) {
  const std::string row = "          0.002004008016            0.017753285414";
  const std::string E = "apartat4.dat: ", L = "Q7-2016-res.dat: ",
                    layout = "expected a position and a value, laid out as (F24.12, 2X, F24.12)";
  // clang-format off
  const struct { bool log; std::string text; std::string want; } rows[] = {
      // clang-format on
      {false, "", E + "is empty"},
      {false, eigentext.substr(0, 1000), E + "the last line is cut off"},
      {false, edited(eigentext, 1, "x"), E + "line 1: expected two empty lines before a block"},
      {false, edited(eigentext, 3, "#E= 9.830165419897869"),
       E + "line 3: expected \"#E=\" and a number"},
      {false, edited(eigentext, 3, " #E= 9.8x"), E + "line 3: expected \"#E=\" and a number"},
      {false, edited(eigentext, 3, " #E= inf"), E + "line 3: expected \"#E=\" and a number"},
      {false, edited(eigentext, 5, row.substr(1).c_str()), E + "line 5: " + layout},
      {false, edited(eigentext, 5, (" " + row.substr(0, row.size() - 1)).c_str()),
       E + "line 5: " + layout},
      {false, edited(eigentext, 5, (row.substr(0, 44) + " 1e400").c_str()),
       E + "line 5: " + layout},
      {false, edited(eigentext, 5, (row.substr(0, 26) + std::string(24, '*')).c_str()),
       E + "line 5: " + layout},
      {false, edited(eigentext, 5, ("        -" + row.substr(9)).c_str()), E + "line 5: " + layout},
      {false, edited(eigentext, 5, ("x" + row.substr(1)).c_str()), E + "line 5: " + layout},
      {false, edited(eigentext, 5, (row.substr(0, 25) + "x" + row.substr(26)).c_str()),
       E + "line 5: " + layout},
      {false, edited(eigentext, 4, row.c_str()), E + "line 4: expected the position 0"},
      {false, edited(eigentext, 6, row.c_str()), E + "line 6: not one step after the row before"},
      {false, edited(eigentext, 0, ""), E + "line 1510: more than 3 blocks"},
      {false, edited(eigentext, 1509, nullptr), E + "ends early: expected 3 blocks of 500 rows"},
      {true, edited(logtext, 1, "    #N                F"),
       L + "line 1: expected the header \"#N E\""},
      {true, edited(logtext, 3, "     3        9.8300673706504220"),
       L + "line 3: expected pass 2 and a number"},
      {true, edited(logtext, 3, "     2        9.830067370650422"),
       L + "line 3: expected pass 2 and a number"},
      {true, edited(logtext, 3, "    +2        9.8300673706504220"),
       L + "line 3: expected pass 2 and a number"},
      {true, edited(logtext, 5, nullptr),
       L + "line 6: expected two empty lines after the last pass"},
      {true, edited(logtext, 5, "\n"), L + "line 7: expected pass 1 and a number"},
      {true, edited(logtext, 0, "     1        9.8300673706504220"),
       L + "line 15: more than 3 searches"},
      {true, edited(logtext, 14, nullptr), L + "ends early: expected 3 complete searches"},
  };
  for (const auto& r : rows) {
    runfiles run;
    try {
      r.log ? readlogfile(r.text, run) : readeigenfile(r.text, run);
      ADD_FAILURE() << "read: " << r.want;
    } catch (const fatalerror& fault) {
      EXPECT_EQ(fault.what(), r.want);
    }
  }
}

// A search of more passes than the program makes, and files of two runs.
TEST(Reader, RefusesWhatNoRunWrites) {
  std::string passes = logtext.substr(0, logtext.find('\n') + 1);
  char record[64];
  for (int m = 1; m <= maxpasses + 1; ++m) {
    const std::array<item, 2> items{m, 9.8};
    passes.append(record, layout(record, logpass, items)) += '\n';
  }
  runfiles run;
  EXPECT_THROW(readlogfile(passes, run), fatalerror);
  readeigenfile(edited(eigentext, 3, " #E= 9.83016541989786"), run);
  readlogfile(logtext, run);
  try {
    matchfiles(run);
    ADD_FAILURE() << "files of two runs matched";
  } catch (const fatalerror& fault) {
    EXPECT_STREQ(fault.what(),
                 "Q7-2016-res.dat: line 4: not the eigenvalue of block 1 in "
                 "apartat4.dat: the two files are of different runs");
  }
}

// What the pictures show, as the README tells it: every eigenfunction within 7e-7 of the exact
// one at unit norm, and every search ending within 1e-5 of (n pi / L)^2, nearer than its
// guesses.
TEST(Plot, DataAgreesWithTheMathematics) {
  runfiles run;
  readeigenfile(eigentext, run);
  readlogfile(logtext, run);
  testdir dir;
  const int fd = open(dir.path.c_str(), O_RDONLY | O_DIRECTORY);
  writeplotdata(fd, dir.path.string(), run);
  close(fd);
  std::istringstream eigen(slurp(dir.path / "eigen.dat"));
  double x, v, f, difference, worst = 0.0;
  int rows = 0;
  for (; eigen >> x >> v >> f >> difference; ++rows) {
    worst = std::max(worst, std::abs(difference));
    // Row k holds the value after step k: it belongs to the end of that step.
    EXPECT_EQ(x, position(rows % npts + 2)) << "row " << rows;
  }
  EXPECT_EQ(rows, neig * npts);
  EXPECT_LT(worst, 7e-7);
  // The numbers of run.gp: each computed E as read, beside the exact one that it approaches.
  std::istringstream numbers(slurp(dir.path / "run.gp"));
  for (int i = 1; i <= neig; ++i) {
    std::string line;
    std::getline(numbers, line);
    double E, exact;
    const std::string layout =
        "E" + std::to_string(i) + " = %lf; exact" + std::to_string(i) + " = %lf";
    ASSERT_EQ(std::sscanf(line.c_str(), layout.c_str(), &E, &exact), 2) << line;
    EXPECT_EQ(E, run.blocks[static_cast<std::size_t>(i - 1)].E);
    EXPECT_LT(std::abs(E - exact), 1e-5);
  }
  std::istringstream passes(slurp(dir.path / "passes.dat")),
      guesses(slurp(dir.path / "guesses.dat"));
  for (const searchpasses& search : run.searches) {
    double pass, distance, guess[4];
    for (std::size_t m = 0; m < search.estimate.size(); ++m) passes >> pass >> distance;
    guesses >> guess[0] >> guess[1] >> guess[2] >> guess[3];
    EXPECT_TRUE(distance < 1e-5 && distance < guess[1] && distance < guess[3]) << distance;
  }
}

// The plot's code as a library: drawing twice in one process draws twice, and leaves nothing
// but the pictures.
TEST(Plot, DrawsTwiceInOneProcess) {
  if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "no gnuplot";
  runfiles run;
  readeigenfile(eigentext, run);
  readlogfile(logtext, run);
  testdir dir;
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(dir.path);
  for (int time = 1; time <= 2; ++time) {
    EXPECT_NO_THROW(drawpictures(run)) << "time " << time;
  }
  std::filesystem::current_path(here);
  int files = 0;
  for ([[maybe_unused]] const auto& file : std::filesystem::directory_iterator(dir.path)) ++files;
  EXPECT_EQ(files, 2);
}

}  // namespace
}  // namespace eigenshoot

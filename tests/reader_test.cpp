// The reader of the two files, on the reference outputs and on every kind of fault, and the
// data that the plot command draws from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <sstream>
#include <string>

#include "plot/plotdata.h"
#include "reader/reader.h"
#include "solver/fileshapes.h"
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

// Line n (from 1) of a text, without its end.
std::string lineof(const std::string& text, int n) {
  std::size_t at = 0;
  for (int k = 1; k < n; ++k) at = text.find('\n', at) + 1;
  return text.substr(at, text.find('\n', at) - at);
}

// The line of row k of block i in the eigenfunction file (k = 0: the block's header), from its
// shape.
int eigenline(int i, int k) {
  return (i - 1) * (eigenshape.before + 1 + eigenshape.records) + eigenshape.before + 1 + k;
}

// A record laid out as the writer lays it out.
std::string laidout(const format& f, std::span<const item> items) {
  std::string text(static_cast<std::size_t>(f.width()), '\0');
  layout(text.data(), f, items);
  return text;
}

// The files of a run read back: written again from what was read, as the program writes them,
// they are the same bytes.
TEST(Reader, ReadsTheFilesOfARun) {
  runfiles run;
  readeigenfile(eigentext, run);
  readlogfile(logtext, run);
  matchfiles(run);
  std::string eigen, log = laidout(logheader, {}) + '\n';
  for (int i = 1; i <= neig; ++i) {
    const eigenblock& block = run.blocks[static_cast<std::size_t>(i - 1)];
    const searchpasses& search = run.searches[static_cast<std::size_t>(i - 1)];
    EXPECT_EQ(block.line, eigenline(i, 0));
    eigen.append(static_cast<std::size_t>(eigenshape.before), '\n');
    char header[64];
    const std::array<item, 2> label{eigenheader, block.E};
    eigen.append(header, listed(header, label)) += '\n';
    for (int k = 1; k <= npts; ++k) {
      const std::array<item, 2> row{position(k), block.value[static_cast<std::size_t>(k - 1)]};
      eigen += laidout(samplerecord, row) + '\n';
    }
    for (std::size_t m = 1; m <= search.estimate.size(); ++m) {
      const std::array<item, 2> pass{static_cast<int>(m), search.estimate[m - 1]};
      log += laidout(logpass, pass) + '\n';
    }
    EXPECT_EQ(search.lastline, std::count(log.begin(), log.end(), '\n'));
    log.append(static_cast<std::size_t>(logshape.after), '\n');
  }
  EXPECT_EQ(eigen, eigentext);
  EXPECT_EQ(log, logtext);
}

// Every line that the program could not have written is refused, naming the file and the line.
TEST(Reader, RefusesEveryFault) {
  runfiles run;
  readlogfile(logtext, run);
  const int row2 = eigenline(1, 2), header1 = eigenline(1, 0), last = eigenline(neig, npts),
            pass2 =
                run.searches[0].lastline - static_cast<int>(run.searches[0].estimate.size()) + 2,
            logend = run.searches[neig - 1].lastline + logshape.after;
  const std::string row = lineof(eigentext, row2), header = lineof(eigentext, header1),
                    pass = lineof(logtext, pass2), E = "apartat4.dat: ", L = "Q7-2016-res.dat: ",
                    at = "line " + std::to_string(row2) + ": ",
                    layout = at + "expected a position and a value, laid out as " +
                             std::string(samplerecord.text()),
                    notE = "line " + std::to_string(header1) + ": expected \"#E=\" and a number",
                    notpass = "line " + std::to_string(pass2) + ": expected pass 2 and a number";
  const std::size_t xw = static_cast<std::size_t>(samplerecord.descriptors()[0].width);
  const std::size_t vat = row.size() - xw;  // where the value's field begins
  double v;
  std::from_chars(row.data() + row.find_first_not_of(' ', vat), row.data() + row.size(), v);
  const auto moved = [&](double x) {
    const std::array<item, 2> items{x, v};
    return laidout(samplerecord, items);
  };
  const auto decimals = [&](int d) {
    const std::string f = "(F" + std::to_string(xw) + "." + std::to_string(d) + ", 2X, F24.12)";
    const std::array<item, 2> items{position(2), v};
    return laidout(format::made(f), items);
  };
  std::string lastunit = row;  // the position one unit up in its last decimal
  ++lastunit[xw - 1];
  std::string nozero = row;
  nozero.replace(nozero.find("0."), 2, " .");
  std::string zeropass = pass;
  zeropass[pass.find('2') - 1] = '0';
  // The rule of the solver: a value of block 1 in the middle turned negative adds two sign
  // changes; block 2 with the eigenvalue of block 1 is not above it.
  std::string negated = lineof(eigentext, eigenline(1, npts / 2));
  const std::size_t sign = negated.find_first_not_of(' ', vat);
  negated[negated[sign] == '-' ? sign : sign - 1] = negated[sign] == '-' ? ' ' : '-';
  const std::string equal = neig > 1 ? edited(eigentext, eigenline(2, 0), header.c_str()) : "";
  // The files of builds with other run parameters: a block more, a row fewer in each block, and
  // twice the rows in each block, which the reader sees only the start of (how many blocks it
  // holds is not told).
  std::size_t lastblock = 0;
  for (int n = eigenline(neig, 0) - eigenshape.before; n > 1; --n)
    lastblock = eigentext.find('\n', lastblock) + 1;
  std::string fewerrows = eigentext;
  for (int i = neig; i >= 1; --i) fewerrows = edited(fewerrows, eigenline(i, npts), nullptr);
  std::string morerows = eigentext, more;
  for (int k = npts + 1; k <= 2 * npts; ++k) more += "\n" + moved(position(k));
  for (int i = neig; i >= 1; --i)
    morerows = edited(morerows, eigenline(i, npts),
                      (lineof(eigentext, eigenline(i, npts)) + more).c_str());
  const auto otherbuild = [&](const std::string& holds) {
    return E + "holds " + holds +
           ", as eigenshoot writes it when built with other run parameters; this command was "
           "built for " +
           std::to_string(neig) + (neig == 1 ? " block" : " blocks") + " of " +
           std::to_string(npts) + " rows: build it from the same parameters as that eigenshoot";
  };

  // clang-format off
  const struct { bool log; std::string text; std::string want; } rows[] = {
      // clang-format on
      {false, "", E + "is empty"},
      {false, eigentext.substr(0, 1000), E + "the last line is cut off"},
      {false, edited(eigentext, 1, "x"), E + "line 1: expected 2 empty lines before a block"},
      {false, edited(eigentext, header1, header.substr(1).c_str()), E + notE},
      {false, edited(eigentext, header1, " #E= inf"), E + notE},
      {false, edited(eigentext, header1, (" #E= 0" + header.substr(5)).c_str()), E + notE},
      {false, edited(eigentext, header1, (header + "e0").c_str()), E + notE},
      {false, edited(eigentext, header1, (header + "0000").c_str()), E + notE},
      {false, edited(eigentext, row2, row.substr(1).c_str()), E + layout},
      {false, edited(eigentext, row2, (" " + row.substr(0, row.size() - 1)).c_str()), E + layout},
      {false, edited(eigentext, row2, (row.substr(0, row.size() - 5) + "1e400").c_str()),
       E + layout},
      {false, edited(eigentext, row2, (row.substr(0, vat) + std::string(xw, '*')).c_str()),
       E + layout},
      {false, edited(eigentext, row2, ("x" + row.substr(1)).c_str()), E + layout},
      {false, edited(eigentext, row2, decimals(11).c_str()), E + layout},
      {false, edited(eigentext, row2, decimals(13).c_str()), E + layout},
      {false, edited(eigentext, row2, nozero.c_str()), E + layout},
      {false, edited(eigentext, row2 - 1, row.c_str()),
       E + "line " + std::to_string(row2 - 1) + ": expected the position " +
           lineof(eigentext, row2 - 1)
               .substr(lineof(eigentext, row2 - 1).find_first_not_of(' '),
                       xw - lineof(eigentext, row2 - 1).find_first_not_of(' '))},
      {false, edited(eigentext, row2, moved(position(2) + 0.1 * h).c_str()),
       E + at + "not one step after the row before"},
      {false, edited(eigentext, row2, lastunit.c_str()),
       E + at + "not one step after the row before"},
      {false, edited(eigentext, eigenline(1, npts / 2), negated.c_str()),
       E + "line " + std::to_string(header1) + ": block 1 changes sign 2 times over rows 1 to " +
           std::to_string(npts - 1) +
           ", eigenfunction 1 0 times: the search ended on another "
           "eigenvalue"},
      {false, equal,
       neig > 1 ? E + "line " + std::to_string(eigenline(2, 0)) +
                      ": the eigenvalue of block 2 is not above that of block 1"
                : E + "is empty"},
      {false, edited(eigentext, 0, ""),
       E + "line " + std::to_string(last + 1) + ": more than " + std::to_string(neig) + " blocks"},
      {false, edited(eigentext, last, nullptr),
       E + "ends early: expected " + std::to_string(neig) + " blocks of " + std::to_string(npts) +
           " rows"},
      {false, eigentext + eigentext.substr(lastblock),
       otherbuild("at least " + std::to_string(neig + 1) + " blocks of " + std::to_string(npts) +
                  " rows")},
      {false, morerows.substr(0, eigenfilelimit + 1),
       otherbuild("blocks of " + std::to_string(2 * npts) + " rows")},
      {false, fewerrows,
       otherbuild(std::to_string(neig) + (neig == 1 ? " block" : " blocks") + " of " +
                  std::to_string(npts - 1) + " rows")},
      {true, edited(logtext, 1, "    #N                F"),
       L + "line 1: expected the header laid out as " + std::string(logheader.text())},
      {true, edited(logtext, pass2, ("     3" + pass.substr(6)).c_str()), L + notpass},
      {true, edited(logtext, pass2, (pass.substr(0, pass.size() - 1) + "x").c_str()), L + notpass},
      {true, edited(logtext, pass2, (" " + pass.substr(0, pass.size() - 1)).c_str()), L + notpass},
      {true, edited(logtext, pass2, zeropass.c_str()), L + notpass},
      {true,
       edited(logtext, pass2, (pass.substr(0, pass.size() - 24) + std::string(24, '*')).c_str()),
       L + "line " + std::to_string(pass2) +
           ": the estimate of pass 2 did not fit its 24 columns and was written as asterisks: "
           "there is no number to draw"},
      {true, edited(logtext, run.searches[0].lastline + 1, nullptr),
       L + "line " + std::to_string(run.searches[0].lastline + 2) +
           ": expected 2 empty lines after a search"},
      {true, edited(logtext, run.searches[0].lastline + 1, "\n"),
       L + "line " + std::to_string(run.searches[0].lastline + 3) +
           ": expected pass 1 and a number"},
      {true, edited(logtext, 0, pass.c_str()),
       L + "line " + std::to_string(logend + 1) + ": more than " + std::to_string(neig) +
           " searches"},
      {true, edited(logtext, logend, nullptr),
       L + "ends early: expected " + std::to_string(neig) + " complete searches"},
  };
  for (const auto& r : rows) {
    try {
      r.log ? readlogfile(r.text, run) : readeigenfile(r.text, run);
      ADD_FAILURE() << "read: " << r.want;
    } catch (const fatalerror& fault) {
      EXPECT_EQ(fault.what(), r.want);
    }
  }
  std::string fewer = eigentext;  // block 2 with the values of block 1: a sign change too few
  for (int k = 1; k <= npts && neig > 1; ++k)
    fewer = edited(fewer, eigenline(2, k), lineof(eigentext, eigenline(1, k)).c_str());
  // (A run of one eigenvalue has no block 2: nothing to read then.)
  EXPECT_THROW(neig > 1 ? readeigenfile(fewer, run) : throw fatalerror(""), fatalerror);
}

// A search of more passes than the program makes, and files of two runs.
TEST(Reader, RefusesWhatNoRunWrites) {
  std::string passes = laidout(logheader, {}) + '\n';
  for (int m = 1; m <= maxpasses + 1; ++m) {
    const std::array<item, 2> items{m, 9.8};
    passes += laidout(logpass, items) + '\n';
  }
  passes.append(static_cast<std::size_t>(logshape.after), '\n');
  runfiles run;
  readlogfile(logtext, run);
  // The other searches as the run wrote them.
  passes +=
      logtext.substr(logtext.find(lineof(logtext, run.searches[0].lastline + logshape.after + 1)));
  try {
    readlogfile(passes, run);
    ADD_FAILURE() << "a search of " << maxpasses + 1 << " passes read";
  } catch (const fatalerror& fault) {
    EXPECT_EQ(fault.what(), "Q7-2016-res.dat: line " + std::to_string(maxpasses + 2) +
                                ": more passes than a search makes (" + std::to_string(maxpasses) +
                                ")");
  }
  readlogfile(logtext, run);
  std::string header = lineof(eigentext, eigenline(1, 0));
  header.pop_back();  // another eigenvalue, still as the program writes one
  readeigenfile(edited(eigentext, eigenline(1, 0), header.c_str()), run);
  try {
    matchfiles(run);
    ADD_FAILURE() << "files of two runs matched";
  } catch (const fatalerror& fault) {
    EXPECT_EQ(fault.what(), "Q7-2016-res.dat: line " + std::to_string(run.searches[0].lastline) +
                                ": not the eigenvalue of block 1 in "
                                "apartat4.dat: the two files are of different runs");
  }
}

// The data block `name` of gnuplot's input: the lines between "NAME << EOD" and "EOD".
std::istringstream datablock(const std::string& input, const std::string& name) {
  const std::size_t from = input.find(name + " << EOD\n") + name.size() + 8;
  return std::istringstream(input.substr(from, input.find("\nEOD\n", from) - from));
}

// What the pictures show, against the exact solution of the marched problem computed here
// another way: its c = sqrt(E) the n-th root of a c cos(c L) + b sin(c L), found by bisection
// between (n - 1/2) pi / L and (n + 1/2) pi / L, where it is alone, and its norm by Simpson's
// rule. From the build's start (y = 0) and from one where y = 0.01, which the exact curve's every
// term then shapes. The computed values are the run's, each row's position where its value
// belongs, and each distance from the exact eigenvalue that of the run's estimate or guess.
TEST(Plot, DataBlocksHoldTheRunAndTheExactSolution) {
  runfiles run;
  readeigenfile(eigentext, run);
  readlogfile(logtext, run);
  const double L = npts * h;
  for (const std::array<double, 2> start : {ystart, std::array{0.01, 1.0}}) {
    const std::string input = plotdata(run, start);
    std::istringstream eigen = datablock(input, "$eigen"), passes = datablock(input, "$passes"),
                       guesses = datablock(input, "$guesses");
    const double a = start[0];
    for (int n = 1; n <= neig; ++n) {
      const auto g = [&](double c) { return a * c * std::cos(c * L) + start[1] * std::sin(c * L); };
      double low = (n - 0.5) * std::numbers::pi / L, high = low + std::numbers::pi / L;
      for (int step = 0; step < 200; ++step) {
        const double middle = (low + high) / 2;
        (g(middle) > 0) == (g(low) > 0) ? low = middle : high = middle;
      }
      const double c = (low + high) / 2, b = start[1] / c;
      const auto exactf = [&](double t) { return a * std::cos(c * t) + b * std::sin(c * t); };
      double norm = 0.0;
      const int parts = 20000;
      for (int i = 0; i <= parts; ++i) {
        const double f = exactf(h + (qb - qa) * i / parts);
        norm += (i == 0 || i == parts ? 1 : i % 2 == 1 ? 4 : 2) * f * f;
      }
      const double unit = 1.0 / std::sqrt(norm * (qb - qa) / parts / 3);
      const eigenblock& block = run.blocks[static_cast<std::size_t>(n - 1)];
      double x, v, f, difference;
      for (int k = 1; k <= npts && eigen >> x >> v >> f >> difference; ++k) {
        // Row k holds the value after step k: it belongs to the end of that step.
        EXPECT_EQ(x, position(k + 1)) << "block " << n << ", row " << k;
        EXPECT_EQ(v, block.value[static_cast<std::size_t>(k - 1)]);
        ASSERT_NEAR(f, unit * exactf(k * h), 1e-9 * unit) << "block " << n << ", row " << k;
        EXPECT_EQ(difference, v - f);
      }
      // The variables: each computed E as read, beside the exact one.
      const std::size_t at = input.find("E" + std::to_string(n) + " = ");
      double E, exact;
      ASSERT_EQ(
          std::sscanf(
              input.c_str() + at,
              ("E" + std::to_string(n) + " = %lf; exact" + std::to_string(n) + " = %lf").c_str(),
              &E, &exact),
          2);
      EXPECT_EQ(E, block.E);
      EXPECT_NEAR(exact, c * c, 1e-12 * c * c);
      const searchpasses& search = run.searches[static_cast<std::size_t>(n - 1)];
      double pass, distance, guess[4];
      for (std::size_t m = 0; m < search.estimate.size(); ++m) {
        passes >> pass >> distance;
        EXPECT_EQ(distance, std::abs(search.estimate[m] - exact));
      }
      guesses >> guess[0] >> guess[1] >> guess[2] >> guess[3];
      EXPECT_EQ(guess[3], std::abs(guess2[static_cast<std::size_t>(n - 1)] - exact));
    }
    double rest;
    EXPECT_FALSE(eigen >> rest) << "more rows than " << neig << " blocks of " << npts;
  }
}

}  // namespace
}  // namespace eigenshoot

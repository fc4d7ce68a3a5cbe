// The reader of the two files, on the reference outputs and on every kind of fault, and the
// data that the plot command draws from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "plot/plotdata.h"
#include "reader/reader.h"
#include "solver/fileshapes.h"
#include "testdir.h"

namespace eigenshoot {
namespace {

const std::string eigentext = slurp(EIGENSHOOT_GOLDEN "/apartat4.dat");
const std::string logtext = slurp(EIGENSHOOT_GOLDEN "/Q7-2016-res.dat");

// Where line n (from 1) of a text begins.
std::size_t lineat(const std::string& text, int n) {
  std::size_t at = 0;
  while (--n > 0) at = text.find('\n', at) + 1;
  return at;
}

// The text with line `line` (from 1) replaced, or deleted when `by` is null; line 0 appends.
std::string edited(std::string text, int line, const char* by) {
  const std::size_t at = line == 0 ? text.size() : lineat(text, line);
  const std::size_t end = line == 0 ? at : lineat(text, line + 1);
  return text.replace(at, end - at, by == nullptr ? "" : std::string(by) + "\n");
}

// Line n (from 1) of a text, without its end.
std::string lineof(const std::string& text, int n) {
  const std::size_t at = lineat(text, n);
  return text.substr(at, text.find('\n', at) - at);
}

// The line of row k of block i in the eigenfunction file (k = 0: the block's header), from its
// shape.
int eigenline(int i, int k) {
  return (i - 1) * (eigenshape.before + 1 + eigenshape.records) + eigenshape.before + 1 + k;
}

// A record laid out as the writer lays it out.
std::string laidout(const format& f, std::initializer_list<item> items) {
  std::string text(static_cast<std::size_t>(f.width()), '\0');
  layout(text.data(), f, std::span(items.begin(), items.size()));
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
    const eigenblock& block = run.blocks[i - 1];
    const std::vector<double>& estimates = run.searches[i - 1].estimate;
    EXPECT_EQ(block.line, eigenline(i, 0));
    char header[64];
    const std::array<item, 2> label{eigenheader, block.E};
    (eigen += std::string(eigenshape.before, '\n')).append(header, listed(header, label)) += '\n';
    for (int k = 1; k <= npts; ++k)
      eigen += laidout(samplerecord, {position(k), block.value[k - 1]}) + '\n';
    for (std::size_t m = 1; m <= estimates.size(); ++m)
      log += laidout(logpass, {static_cast<int>(m), estimates[m - 1]}) + '\n';
    EXPECT_EQ(run.searches[i - 1].lastline, std::count(log.begin(), log.end(), '\n'));
    log += std::string(logshape.after, '\n');
  }
  EXPECT_EQ(eigen, eigentext);
  EXPECT_EQ(log, logtext);
}

// Every line that the program could not have written is refused, naming the file and the line,
// and so are a search of more passes than the program makes and the files of two runs.
TEST(Reader, RefusesEveryFault) {
  runfiles run;
  readlogfile(logtext, run);
  const int row2 = eigenline(1, 2), header1 = eigenline(1, 0), last = eigenline(neig, npts),
            end1 = run.searches[0].lastline,
            pass2 = end1 - static_cast<int>(run.searches[0].estimate.size()) + 2,
            logend = run.searches[neig - 1].lastline + logshape.after;
  const auto on = [](int line) { return "line " + std::to_string(line) + ": "; };
  const std::string row = lineof(eigentext, row2), row1 = lineof(eigentext, row2 - 1),
                    header = lineof(eigentext, header1), pass = lineof(logtext, pass2),
                    E = "apartat4.dat: ", L = "Q7-2016-res.dat: ",
                    layout = on(row2) + "expected a position and a value, laid out as " +
                             std::string(samplerecord.text()),
                    notE = on(header1) + "expected \"#E=\" and a number",
                    notpass = L + on(pass2) + "expected pass 2 and a number",
                    notstep = on(row2) + "not one step after the row before",
                    blocks = std::to_string(neig) + (neig == 1 ? " block" : " blocks");
  const std::size_t xw = samplerecord.descriptors()[0].width, vat = row.size() - xw,
                    x1 = row1.find_first_not_of(' ');
  double v;  // the value of row 2, whose field begins at vat
  std::from_chars(row.data() + row.find_first_not_of(' ', vat), row.data() + row.size(), v);
  const auto moved = [&](double x, const format& f) { return laidout(f, {x, v}); };
  // The layout that the messages name lays out row 2 as the file has it.
  EXPECT_EQ(moved(position(2), format::made(std::string(samplerecord.text()))), row);
  const std::string decimals = moved(  // a position of 11 decimals
      position(2), format::made("(F" + std::to_string(xw) + ".11, 2X, F24.12)"));
  // The rule of the solver: a value of block 1 in the middle turned negative adds two sign
  // changes; block 2 with the eigenvalue of block 1 is not above it.
  std::string negated = lineof(eigentext, eigenline(1, npts / 2));
  const std::size_t sign = negated.find_first_not_of(' ', vat);
  negated[negated[sign] == '-' ? sign : sign - 1] = negated[sign] == '-' ? ' ' : '-';
  // The files of builds with other run parameters: a block more, a row fewer in each block.
  // Twice the rows in each block, which the reader sees only the start of (how many blocks it
  // holds is not told).
  std::string morerows = eigentext, more;
  for (int k = npts + 1; k <= 2 * npts; ++k) more += "\n" + moved(position(k), samplerecord);
  for (int i = neig; i >= 1; --i)
    morerows = edited(morerows, eigenline(i, npts),
                      (lineof(eigentext, eigenline(i, npts)) + more).c_str());
  std::string fewerrows = eigentext, passes = laidout(logheader, {}) + '\n';
  for (int i = neig; i >= 1; --i) fewerrows = edited(fewerrows, eigenline(i, npts), nullptr);
  const std::string built =
      ", as eigenshoot writes it when built with other run parameters; this command "
      "was built for " +
      blocks + " of " + std::to_string(npts) +
      " rows: build it from the same parameters as that eigenshoot";
  // A first search of a pass more than the program makes, the other searches as written.
  for (int m = 1; m <= maxpasses + 1; ++m) passes += laidout(logpass, {m, 9.8}) + '\n';
  passes += std::string(logshape.after, '\n') +
            logtext.substr(logtext.find(lineof(logtext, end1 + logshape.after + 1)));
  // The largest file that a run writes has every eigenvalue at its longest, as the least normal
  // double prints negated.
  char least[64];
  *listed(least, std::array<item, 2>{eigenheader, -2.2250738585072014e-308}) = '\0';
  std::string longest = eigentext;
  for (int i = 1; i <= neig; ++i) longest = edited(longest, eigenline(i, 0), least);
  EXPECT_EQ(longest.size(), eigenfilelimit);

  struct fault {
    bool log;
    std::string text, want;
  };
  std::vector<fault> rows = {
      {false, "", E + "is empty"},
      {false, eigentext.substr(0, 1000), E + "the last line is cut off"},
      {false, edited(eigentext, 1, "x"), E + "line 1: expected 2 empty lines before a block"},
      {false, edited(eigentext, row2 - 1, row.c_str()),
       E + on(row2 - 1) + "expected the position " + row1.substr(x1, xw - x1)},
      {false, edited(eigentext, row2, moved(position(2) + 0.1 * h, samplerecord).c_str()),
       E + notstep},
      {false, edited(eigentext, eigenline(1, npts / 2), negated.c_str()),
       E + on(header1) + "block 1 changes sign 2 times over rows 1 to " + std::to_string(npts - 1) +
           ", eigenfunction 1 0 times: the search ended on another eigenvalue"},
      {false, neig > 1 ? edited(eigentext, eigenline(2, 0), header.c_str()) : "",
       neig > 1 ? E + on(eigenline(2, 0)) + "the eigenvalue of block 2 is not above that of block 1"
                : E + "is empty"},
      // A line after the last block, in a file of the largest size that a run writes, and one
      // byte more, refused unread.
      {false, eigentext + std::string(eigenfilelimit - eigentext.size() - 1, 'x') + '\n',
       E + on(last + 1) + "more than " + blocks},
      {false, eigentext + std::string(eigenfilelimit - eigentext.size(), 'x') + '\n',
       E + "larger than a run writes (" + std::to_string(eigenfilelimit) + " bytes at most)"},
      // Too large by one long row, and told so, not as another build's.
      {false, edited(eigentext, row2, (row + std::string(eigenfilelimit, '9')).c_str()),
       E + "larger than a run writes (" + std::to_string(eigenfilelimit) + " bytes at most)"},
      {false, edited(eigentext, last, nullptr),
       E + "ends early: expected " + blocks + " of " + std::to_string(npts) + " rows"},
      {false,
       eigentext + eigentext.substr(lineat(eigentext, eigenline(neig, 0) - eigenshape.before)),
       E + "holds at least " + std::to_string(neig + 1) + " blocks of " + std::to_string(npts) +
           " rows" + built},
      {false, fewerrows.substr(0, lineat(fewerrows, eigenline(1, npts))),
       E + "holds 1 block of " + std::to_string(npts - 1) + " rows" + built},
      {false, morerows.substr(0, eigenfilelimit + 1),
       E + "holds blocks of " + std::to_string(2 * npts) + " rows" + built},
      {false, fewerrows,
       E + "holds " + blocks + " of " + std::to_string(npts - 1) + " rows" + built},
      {true, edited(logtext, 1, "    #N                F"),
       L + "line 1: expected the header laid out as " + std::string(logheader.text())},
      {true,
       edited(logtext, pass2, (pass.substr(0, pass.size() - 24) + std::string(24, '*')).c_str()),
       L + on(pass2) +
           "the estimate of pass 2 did not fit its 24 columns and was written as asterisks: "
           "there is no number to draw"},
      {true, edited(logtext, end1 + 1, nullptr),
       L + on(end1 + 2) + "expected 2 empty lines after a search"},
      {true, edited(logtext, end1 + 1, "\n"), L + on(end1 + 3) + "expected pass 1 and a number"},
      {true, edited(logtext, 0, pass.c_str()),
       L + on(logend + 1) + "more than " + std::to_string(neig) + " searches"},
      {true, edited(logtext, logend, nullptr),
       L + "ends early: expected " + std::to_string(neig) + " complete searches"},
      {true, passes,
       L + on(maxpasses + 2) + "more passes than a search makes (" + std::to_string(maxpasses) +
           ")"},
      // Another eigenvalue, still as the program writes one.
      {false, edited(eigentext, header1, header.substr(0, header.size() - 1).c_str()),
       L + on(end1) +
           "not the eigenvalue of block 1 in apartat4.dat: the two files are of different runs"},
  };
  for (const std::string& by : {header.substr(1), std::string(" #E= inf"), header + "0000"})
    rows.push_back({false, edited(eigentext, header1, by.c_str()), E + notE});
  for (const std::string& by :
       {row.substr(1), row.substr(0, row.size() - 5) + "1e400",
        row.substr(0, vat) + std::string(xw, '*'), "x" + row.substr(1), decimals})
    rows.push_back({false, edited(eigentext, row2, by.c_str()), E + layout});
  for (const std::string& by : {"     3" + pass.substr(6), pass.substr(0, pass.size() - 1) + "x",
                                " " + pass.substr(0, pass.size() - 1)})
    rows.push_back({true, edited(logtext, pass2, by.c_str()), notpass});
  for (const auto& r : rows) {
    EXPECT_EQ(refusal([&] {
                if (!r.log) readlogfile(logtext, run);
                r.log ? readlogfile(r.text, run) : readeigenfile(r.text, run);
                matchfiles(run);
              }),
              r.want);
  }
}

// The data block `name` of gnuplot's input: the lines between "NAME << EOD" and "EOD"; or, for
// a variable, the text after "NAME = ".
std::istringstream datablock(const std::string& input, const std::string& name) {
  const std::size_t from = input.find(name + (name[0] == '$' ? " << EOD\n" : " = ")) + name.size() +
                           (name[0] == '$' ? 8 : 3);
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
    double E, exact, x, v, f, difference, distance, guess[4];
    for (int n = 1; n <= neig; ++n) {
      const auto g = [&](double c) { return a * c * std::cos(c * L) + start[1] * std::sin(c * L); };
      double low = (n - 0.5) * std::numbers::pi / L, high = low + std::numbers::pi / L;
      for (int step = 0; step < 200; ++step)
        ((g((low + high) / 2) > 0) == (g(low) > 0) ? low : high) = (low + high) / 2;
      const double c = (low + high) / 2, b = start[1] / c;
      const auto exactf = [&](double t) { return a * std::cos(c * t) + b * std::sin(c * t); };
      double norm = 0.0;
      for (int i = 0, parts = 20000; i <= parts; ++i)
        norm += (i == 0 || i == parts ? 1 : 2 + 2 * (i % 2)) *
                std::pow(exactf(h + (qb - qa) * i / parts), 2) * (qb - qa) / parts / 3;
      const eigenblock& block = run.blocks[static_cast<std::size_t>(n - 1)];
      for (int k = 1; k <= npts && eigen >> x >> v >> f >> difference; ++k) {
        // Row k holds the value after step k: it belongs to the end of that step.
        EXPECT_EQ(x, position(k + 1)) << "block " << n << ", row " << k;
        EXPECT_EQ(v, block.value[static_cast<std::size_t>(k - 1)]);
        ASSERT_NEAR(f, exactf(k * h) / std::sqrt(norm), 1e-9 / std::sqrt(norm)) << "row " << k;
        EXPECT_EQ(difference, v - f);
      }
      // The variables: each computed E as read, beside the exact one.
      datablock(input, "E" + std::to_string(n)) >> E;
      datablock(input, "exact" + std::to_string(n)) >> exact;
      EXPECT_EQ(E, block.E);
      EXPECT_NEAR(exact, c * c, 1e-12 * c * c);
      for (const double estimate : run.searches[static_cast<std::size_t>(n - 1)].estimate)
        EXPECT_EQ((passes >> x >> distance, distance), std::abs(estimate - exact));
      guesses >> guess[0] >> guess[1] >> guess[2] >> guess[3];
      EXPECT_EQ(guess[3], std::abs(guess2[static_cast<std::size_t>(n - 1)] - exact));
    }
    EXPECT_FALSE(eigen >> x) << "more rows than " << neig << " blocks of " << npts;
  }
}

}  // namespace
}  // namespace eigenshoot

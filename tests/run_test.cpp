// The built program, run as a user runs it: each test in a fresh temporary directory.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "testdir.h"

namespace fs = std::filesystem;

namespace {

const fs::path program = EIGENSHOOT_PROGRAM;
const fs::path golden = EIGENSHOOT_GOLDEN;
const char* const logfile = "Q7-2016-res.dat";
const char* const eigenfile = "apartat4.dat";

// What one run left behind: its exit status, standard output and standard error.
struct outcome {
  int status;
  std::string out, err;
};

// Runs the program in dir.path/work (created if missing). `before` is shell text run there
// first; `stdoutto` is where standard output goes.
outcome run(const testdir& dir, const std::string& before = "", std::string stdoutto = "") {
  const fs::path work = dir.path / "work", out = dir.path / "stdout", err = dir.path / "stderr";
  fs::create_directories(work);
  if (stdoutto.empty()) stdoutto = out.string();
  const std::string command = "cd '" + work.string() + "' && " + before + " exec '" +
                              program.string() + "' >'" + stdoutto + "' 2>'" + err.string() + "'";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
}

std::vector<std::string> entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Run, WritesExactlyTheExpectedFilesAndRecords) {
  testdir dir;
  const outcome r = run(dir);
  const fs::path work = dir.path / "work";
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(entries(work), (std::vector<std::string>{logfile, eigenfile}));
  EXPECT_EQ(lines(r.out).size(), 3u);
  EXPECT_EQ(lines(slurp(work / logfile)).size(), 14u);
  EXPECT_EQ(lines(slurp(work / eigenfile)).size(), 1509u);

  // Golden outputs: made once by this program and checked against the properties of the
  // solution (pass counts, eigenvalues, unit norms, nodes); any change to a digit shows here.
  EXPECT_EQ(r.out, slurp(golden / "stdout.txt"));
  EXPECT_EQ(slurp(work / logfile), slurp(golden / logfile));
  EXPECT_EQ(slurp(work / eigenfile), slurp(golden / eigenfile));
}

TEST(Run, SecondRunReplacesLongerOldFiles) {
  testdir dir;
  fs::create_directories(dir.path / "work");
  for (const char* name : {logfile, eigenfile}) {
    std::ofstream(dir.path / "work" / name) << std::string(300000, 'x');
  }
  EXPECT_EQ(run(dir).status, 0);
  EXPECT_EQ(slurp(dir.path / "work" / logfile), slurp(golden / logfile));
  EXPECT_EQ(slurp(dir.path / "work" / eigenfile), slurp(golden / eigenfile));
}

// Each way an output can fail: the run ends with status 1 and one diagnostic line naming the
// destination and the system's reason, and writes nothing after the failure.
TEST(Run, EveryOutputFailureIsReported) {
  const struct {
    std::string before, stdoutto, diagnostic;
  } rows[] = {
      {"mkdir Q7-2016-res.dat &&", "", "eigenshoot: Q7-2016-res.dat: Is a directory\n"},
      {"mkdir apartat4.dat &&", "", "eigenshoot: apartat4.dat: Is a directory\n"},
      {"ln -s /dev/full Q7-2016-res.dat &&", "",
       "eigenshoot: Q7-2016-res.dat: No space left on device\n"},
      {"ln -s /dev/full apartat4.dat &&", "",
       "eigenshoot: apartat4.dat: No space left on device\n"},
      {"", "/dev/full", "eigenshoot: standard output: No space left on device\n"},
      {"rmdir \"$PWD\" &&", "", "eigenshoot: Q7-2016-res.dat: No such file or directory\n"},
  };
  for (const auto& row : rows) {
    testdir dir;
    const outcome r = run(dir, row.before, row.stdoutto);
    EXPECT_EQ(r.status, 1) << row.before;
    EXPECT_EQ(r.err, row.diagnostic) << row.before;
    // A failed log or eigenfunction file means no normalization constant was ever printed.
    if (row.stdoutto.empty()) {
      EXPECT_EQ(r.out, "") << row.before;
    }
  }
}

TEST(Run, LogFailureLeavesAnEarlierEigenfunctionFileUntouched) {
  testdir dir;
  fs::create_directories(dir.path / "work");
  std::ofstream(dir.path / "work" / eigenfile) << "earlier run\n";
  const outcome r = run(dir, "ln -s /dev/full Q7-2016-res.dat &&");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(slurp(dir.path / "work" / eigenfile), "earlier run\n");
}

}  // namespace

namespace {

bool ispng(const fs::path& file) {
  return slurp(file).starts_with("\x89PNG\r\n\x1a\n");
}

TEST(Plot, DrawsTheEigenfunctionsAndTheConvergence) {
  if (std::system("command -v gnuplot >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "gnuplot is not installed";
  testdir dir;
  ASSERT_EQ(run(dir, "", "").status, 0);
  const fs::path work = dir.path / "work";
  const std::string plot = "cd '" + work.string() + "' && '" + std::string(EIGENSHOOT_PLOT) + "'";
  ASSERT_EQ(std::system(plot.c_str()), 0);
  EXPECT_TRUE(ispng(work / "eigenfunctions.png"));
  EXPECT_TRUE(ispng(work / "convergence.png"));
}

TEST(Plot, MissingInputIsReported) {
  testdir dir;
  const std::string plot =
      "cd '" + dir.path.string() + "' && '" + std::string(EIGENSHOOT_PLOT) + "' 2>err";
  EXPECT_NE(std::system(plot.c_str()), 0);
  const std::string err = slurp(dir.path / "err");
  EXPECT_TRUE(err ==
                  "eigenshoot-plot: apartat4.dat: not found here (run eigenshoot in this directory "
                  "first)\n" ||
              err.starts_with("eigenshoot-plot: gnuplot is not installed"))
      << err;
}

}  // namespace

// The built program and the plot command, run as a user runs them, each test in a fresh
// temporary directory.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "testdir.h"

namespace fs = std::filesystem;

namespace {

const fs::path golden = EIGENSHOOT_GOLDEN;
const char* const logfile = "Q7-2016-res.dat";
const char* const eigenfile = "apartat4.dat";

struct outcome {
  int status;
  std::string out, err;
};

// Runs `command` in dir/work (created if missing) after the shell text `before`, with standard
// output to `stdoutto` (by default dir/stdout) and standard error to dir/stderr.
outcome run(const testdir& dir, const std::string& before = "", std::string stdoutto = "",
            const std::string& command = EIGENSHOOT_PROGRAM) {
  const fs::path work = dir.path / "work", out = dir.path / "stdout", err = dir.path / "stderr";
  fs::create_directories(work);
  if (stdoutto.empty()) stdoutto = out.string();
  const std::string line = "cd '" + work.string() + "' && " + before + " exec '" + command +
                           "' >'" + stdoutto + "' 2>'" + err.string() + "'";
  const int raw = std::system(line.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
}

// What a failed run must leave of a file: the complete output, nothing, or what the test put
// there (a directory or a link).
enum class state { complete, absent, kept };

void expectstate(const fs::path& file, state want) {
  const auto status = fs::symlink_status(file);
  if (want == state::complete) {
    EXPECT_EQ(slurp(file), slurp(golden / file.filename())) << file;
  } else {
    EXPECT_EQ(fs::exists(status), want == state::kept) << file;
    EXPECT_FALSE(fs::is_regular_file(status)) << file;
  }
}

TEST(Run, WritesExactlyTheReferenceOutputs) {
  testdir dir;
  const outcome r = run(dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path / "work"), {}), 2);
  EXPECT_EQ(lines(r.out).size(), 3u);
  EXPECT_EQ(lines(slurp(dir.path / "work" / logfile)).size(), 14u);
  EXPECT_EQ(lines(slurp(dir.path / "work" / eigenfile)).size(), 1509u);
  // Reference outputs, made once by this program and reviewed against the properties of the
  // solution (pass counts, eigenvalues, unit norms, nodes): any changed digit shows here.
  EXPECT_EQ(r.out, slurp(golden / "stdout.txt"));
  expectstate(dir.path / "work" / logfile, state::complete);
  expectstate(dir.path / "work" / eigenfile, state::complete);
}

TEST(Run, SecondRunReplacesLongerOldFiles) {
  testdir dir;
  const outcome r = run(dir, "head -c 300000 /dev/zero | tee Q7-2016-res.dat >apartat4.dat &&");
  EXPECT_EQ(r.status, 0);
  expectstate(dir.path / "work" / logfile, state::complete);
  expectstate(dir.path / "work" / eigenfile, state::complete);
}

// Each way an output can fail ends the run with status 1 and one line naming the destination
// and the system's reason, and nothing after the failure is written.
TEST(Run, EveryOutputFailureIsReported) {
  const struct {
    std::string before, stdoutto, diagnostic;
    state log, eigen;
  } rows[] = {
      {"mkdir Q7-2016-res.dat &&", "", "Q7-2016-res.dat: Is a directory", state::kept,
       state::absent},
      {"mkdir apartat4.dat &&", "", "apartat4.dat: Is a directory", state::complete, state::kept},
      {"ln -s /dev/full Q7-2016-res.dat &&", "", "Q7-2016-res.dat: No space left on device",
       state::kept, state::absent},
      {"ln -s /dev/full apartat4.dat &&", "", "apartat4.dat: No space left on device",
       state::complete, state::kept},
      {"", "/dev/full", "standard output: No space left on device", state::complete,
       state::complete},
      {"rmdir \"$PWD\" &&", "", "Q7-2016-res.dat: No such file or directory", state::absent,
       state::absent},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.diagnostic);
    testdir dir;
    const outcome r = run(dir, row.before, row.stdoutto);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "eigenshoot: " + row.diagnostic + "\n");
    if (row.stdoutto.empty()) {
      EXPECT_EQ(r.out, "");  // no constant printed before a failure
    }
    expectstate(dir.path / "work" / logfile, row.log);
    expectstate(dir.path / "work" / eigenfile, row.eigen);
  }
}

TEST(Run, LogFailureLeavesAnEarlierEigenfunctionFileUntouched) {
  testdir dir;
  const outcome r = run(dir, "echo earlier >apartat4.dat && ln -s /dev/full Q7-2016-res.dat &&");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(slurp(dir.path / "work" / eigenfile), "earlier\n");
}

TEST(Plot, DrawsTheEigenfunctionsAndTheConvergence) {
  if (std::system("command -v gnuplot >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "gnuplot is not installed";
  testdir dir;
  ASSERT_EQ(run(dir).status, 0);
  EXPECT_EQ(run(dir, "", "", EIGENSHOOT_PLOT).status, 0);
  for (const char* picture : {"eigenfunctions.png", "convergence.png"}) {
    EXPECT_TRUE(slurp(dir.path / "work" / picture).starts_with("\x89PNG\r\n\x1a\n")) << picture;
  }
}

TEST(Plot, MissingInputIsReported) {
  testdir dir;
  const outcome r = run(dir, "", "", EIGENSHOOT_PLOT);
  EXPECT_NE(r.status, 0);
  EXPECT_TRUE(r.err ==
                  "eigenshoot-plot: apartat4.dat: not found here (run eigenshoot in this directory "
                  "first)\n" ||
              r.err.starts_with("eigenshoot-plot: gnuplot is not installed"))
      << r.err;
}

}  // namespace

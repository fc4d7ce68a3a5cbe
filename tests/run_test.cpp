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

// Runs `command` with `arguments` in dir/work (created if missing) after the shell text
// `setup`. Standard output and error go to dir/stdout and dir/stderr unless `streams` redirects
// them otherwise.
outcome run(const testdir& dir, const std::string& setup = "", const std::string& streams = "",
            const std::string& command = EIGENSHOOT_PROGRAM, const std::string& arguments = "") {
  const fs::path work = dir.path / "work", out = dir.path / "stdout", err = dir.path / "stderr";
  fs::create_directories(work);
  const std::string line = "cd '" + work.string() + "' && " + setup + " exec '" + command + "' " +
                           arguments + " >'" + out.string() + "' 2>'" + err.string() + "' " +
                           streams;
  const int raw = std::system(line.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
}

// What a failed run must leave of a file: the complete output, the start of it, nothing, or
// what the test put there (a directory or a link).
enum class state { complete, truncated, absent, kept };

void expectstate(const fs::path& file, state want) {
  const auto status = fs::symlink_status(file);
  if (want == state::complete || want == state::truncated) {
    const std::string text = slurp(file), reference = slurp(golden / file.filename());
    EXPECT_TRUE(fs::is_regular_file(status) && reference.starts_with(text)) << file;
    EXPECT_EQ(text.size() < reference.size(), want == state::truncated) << file;
  } else {
    EXPECT_EQ(fs::exists(status), want == state::kept) << file;
    EXPECT_FALSE(fs::is_regular_file(status)) << file;
  }
}

TEST(Run, WritesExactlyTheReferenceOutputs) {
  testdir dir;
  // Longer files from an earlier run are replaced, not overwritten in part.
  const outcome r = run(dir, "head -c 300000 /dev/zero | tee Q7-2016-res.dat >apartat4.dat &&");
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

// Each way an output can fail ends the run with status 1 and one line naming the destination
// and the system's reason, and nothing after the failure is written. A standard descriptor
// that is closed at start-up is never taken by a file: no record and no diagnostic lands in
// another destination's file.
TEST(Run, EveryOutputFailureIsReported) {
  const struct {
    std::string setup, streams, diagnostic;
    state log, eigen;
  } rows[] = {
      {"mkdir Q7-2016-res.dat &&", "", "Q7-2016-res.dat: Is a directory", state::kept,
       state::absent},
      {"mkdir apartat4.dat &&", "", "apartat4.dat: Is a directory", state::complete, state::kept},
      {"ln -s /dev/full Q7-2016-res.dat &&", "", "Q7-2016-res.dat: No space left on device",
       state::kept, state::absent},
      {"ln -s /dev/full apartat4.dat &&", "", "apartat4.dat: No space left on device",
       state::complete, state::kept},
      {"", ">/dev/full", "standard output: No space left on device", state::complete,
       state::complete},
      {"", ">&-", "standard output: Bad file descriptor", state::complete, state::complete},
      {"rmdir \"$PWD\" &&", "", "Q7-2016-res.dat: No such file or directory", state::absent,
       state::absent},
      {"ulimit -f 16 &&", "", "apartat4.dat: File too large", state::complete, state::truncated},
      {"mkdir apartat4.dat &&", "<&-", "apartat4.dat: Is a directory", state::complete,
       state::kept},
      {"mkdir apartat4.dat &&", "2>&-", "", state::complete, state::kept},
      {"mkdir apartat4.dat &&", "<&- >&- 2>&-", "", state::complete, state::kept},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.setup + row.streams);
    testdir dir;
    const outcome r = run(dir, row.setup, row.streams);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, row.diagnostic.empty() ? "" : "eigenshoot: " + row.diagnostic + "\n");
    if (row.streams.empty()) {
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

// Both commands answer --help and --version on standard output and refuse anything else with
// status 2; none of these touches a file. Each manual page documents the options.
TEST(Run, CommandLine) {
  for (const std::string command : {EIGENSHOOT_PROGRAM, EIGENSHOOT_PLOT}) {
    const std::string name = fs::path(command).filename();
    const struct {
      std::string arguments, out, err;
      int status;
    } rows[] = {
        {"--help", "Usage: " + name + " [--help | --version]\n", "", 0},
        {"-h --version", "Usage: " + name + " [--help | --version]\n", "", 0},
        {"--version", name + " 1.0\n", "", 0},
        {"--help -v", "", name + ": unrecognized argument '-v'\nTry '" + name + " --help'.\n", 2},
    };
    for (const auto& row : rows) {
      SCOPED_TRACE(name + " " + row.arguments);
      testdir dir;
      const outcome r = run(dir, "", "", command, row.arguments);
      EXPECT_EQ(r.status, row.status);
      EXPECT_EQ(r.out.substr(0, row.out.size()), row.out);
      EXPECT_EQ(r.err, row.err);
      EXPECT_TRUE(fs::is_empty(dir.path / "work"));
    }
    const std::string manual = slurp(golden.parent_path().parent_path() / "docs" / (name + ".1"));
    for (const char* option : {"\\-h", "\\-\\-help", "\\-\\-version"}) {
      EXPECT_NE(manual.find(option), std::string::npos) << name << option;
    }
  }
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
  // A picture that cannot be written is one line on standard error, nothing on the terminal.
  const outcome r =
      run(dir, "rm eigenfunctions.png && mkdir eigenfunctions.png &&", "", EIGENSHOOT_PLOT);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(r.err.starts_with("eigenshoot-plot: ") && lines(r.err).size() == 1) << r.err;
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

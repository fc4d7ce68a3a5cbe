// The built program, run as a user runs it, each test in a fresh temporary directory.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "testdir.h"

namespace fs = std::filesystem;

namespace {

const fs::path golden = EIGENSHOOT_GOLDEN;

// What a run must leave of a file: the complete output, the start of it, nothing, what the test
// put there (a directory or a link), an earlier file with the text "earlier", or a FIFO whose
// reader copied the complete output to "fifo" beside the working directory.
enum class state { complete, truncated, absent, kept, earlier, piped };

void expectstate(const fs::path& file, state want) {
  const auto status = fs::symlink_status(file);
  if (want == state::piped) {
    const fs::path copy = file.parent_path().parent_path() / "fifo";
    for (int wait = 0; wait < 100 && !fs::exists(copy); ++wait) usleep(100000);
    EXPECT_TRUE(fs::is_fifo(status) && slurp(copy) == slurp(golden / file.filename()));
  } else if (want == state::complete || want == state::truncated) {
    const std::string text = slurp(file), reference = slurp(golden / file.filename());
    EXPECT_TRUE(fs::is_regular_file(status) && reference.starts_with(text)) << file;
    EXPECT_EQ(text.size() < reference.size(), want == state::truncated) << file;
  } else if (want == state::earlier) {
    EXPECT_EQ(slurp(file), "earlier\n") << file;
  } else {
    EXPECT_EQ(fs::exists(status), want == state::kept) << file;
    EXPECT_FALSE(fs::is_regular_file(status)) << file;
  }
}

// Every outcome of a run: a normal run writes exactly the reference outputs (made once by this
// program and reviewed against the properties of the solution: pass counts, eigenvalues, unit
// norms, nodes) and replaces longer files of an earlier run. --help and --version answer on
// standard output and refusals with status 2, none of them touching a file. Each way an output
// can fail ends the run with status 1 and one line naming the destination and the system's
// reason, and nothing after the failure is written: a FIFO without a reader, a reader gone and a
// close that fails included. No record and no diagnostic lands in another destination's file:
// a standard descriptor closed at start-up is never taken by a file, and a file that another
// destination writes to (through a link or a redirection) is refused before it loses anything.
TEST(Run, Outcomes) {
  using enum state;
  const std::string log = "eigenshoot: Q7-2016-res.dat: ", eigen = "eigenshoot: apartat4.dat: ",
                    usage = "Usage: eigenshoot [--help | --version]\n";
  const struct {
    std::string arguments, setup, streams, out, err;  // out: for an option, its first line
    int status;
    state log, eigen;
  } rows[] = {
      {"", "head -c 300000 /dev/zero | tee Q7-2016-res.dat >apartat4.dat &&", "",
       slurp(golden / "stdout.txt"), "", 0, complete, complete},
      {"--help", "", "", usage, "", 0, absent, absent},
      {"-h --version", "", "", usage, "", 0, absent, absent},
      {"--version", "", "", "eigenshoot " EIGENSHOOT_VERSION "\n", "", 0, absent, absent},
      {"--help \"$(printf '\\033[31m-v\\177')\"", "", "", "",
       "eigenshoot: unrecognized argument '\\033[31m-v\\177'\nTry 'eigenshoot --help'.\n", 2,
       absent, absent},
      {"", "mkdir Q7-2016-res.dat &&", "", "", log + "Is a directory\n", 1, kept, absent},
      {"", "mkdir apartat4.dat &&", "", "", eigen + "Is a directory\n", 1, complete, kept},
      {"", "echo earlier >apartat4.dat && ln -s /dev/full Q7-2016-res.dat &&", "", "",
       log + "No space left on device\n", 1, kept, earlier},
      {"", "ln -s /dev/full apartat4.dat &&", "", "", eigen + "No space left on device\n", 1,
       complete, kept},
      {"", "", ">/dev/full", "", "eigenshoot: standard output: No space left on device\n", 1,
       complete, complete},
      {"", "", ">&-", "", "eigenshoot: standard output: Bad file descriptor\n", 1, complete,
       complete},
      {"", "rmdir \"$PWD\" &&", "", "", log + "No such file or directory\n", 1, absent, absent},
      {"", "ulimit -f 16 &&", "", "", eigen + "File too large\n", 1, complete, truncated},
      {"", "mkdir apartat4.dat &&", "<&-", "", eigen + "Is a directory\n", 1, complete, kept},
      {"", "mkdir apartat4.dat &&", "2>&-", "", "", 1, complete, kept},
      {"", "mkdir apartat4.dat &&", "<&- >&- 2>&-", "", "", 1, complete, kept},
      {"", "mkfifo apartat4.dat &&", "", "", eigen + "No such device or address\n", 1, complete,
       kept},
      // The reader holds the FIFO open for reading before the program starts (and a writing end
      // until the first byte has come, so as not to read an end of file before), then reads the
      // rest slowly: the program's writes, larger than a pipe holds, must wait for it.
      {"",
       "mkfifo apartat4.dat && { timeout 10 sh -c 'exec 3<>apartat4.dat 4<apartat4.dat && : "
       ">../open && dd bs=1 count=1 status=none <&4 >../part && exec 3>&- && sleep 0.5 && cat "
       "<&4 >>../part && mv ../part ../fifo' >/dev/null 2>&1 & } && until [ -e ../open ]; do "
       "sleep 0.01; done &&",
       "", slurp(golden / "stdout.txt"), "", 0, complete, piped},
      {"", "ln -s Q7-2016-res.dat apartat4.dat &&", "", "",
       eigen + "same file as Q7-2016-res.dat\n", 1, complete, kept},
      {"", "", ">apartat4.dat", "", eigen + "same file as standard output\n", 1, absent, truncated},
      // A clash of the two files through a link is found before either loses a byte.
      {"", "echo earlier >apartat4.dat && ln -s apartat4.dat Q7-2016-res.dat &&", "", "",
       eigen + "same file as Q7-2016-res.dat\n", 1, kept, earlier},
      {"", "echo earlier >apartat4.dat && ln apartat4.dat Q7-2016-res.dat &&", "", "",
       eigen + "same file as Q7-2016-res.dat\n", 1, earlier, earlier},
      // In a sticky world-writable directory, a link of another user is not followed (not even
      // one that leads nowhere yet), but the caller's own and the directory owner's are.
      {"", "chmod 1777 . && ln -s ../x apartat4.dat && chown -h nobody apartat4.dat || exit 77;",
       "", "", eigen + "not following a symbolic link of another user in a sticky directory\n", 1,
       absent, kept},
      {"", "chmod 1777 . && ln -s ../z Q7-2016-res.dat &&", "", slurp(golden / "stdout.txt"), "", 0,
       kept, complete},
      {"",
       "chmod 1777 . && chown -h nobody . && ln -s ../y Q7-2016-res.dat && chown -h nobody "
       "Q7-2016-res.dat || exit 77;",
       "", slurp(golden / "stdout.txt"), "", 0, kept, complete},
      {"", "", ">&9", "", "eigenshoot: standard output: Broken pipe\n", 1, complete, complete},
      // A close that fails only when the log is closed. (The leak check of a sanitized build
      // does not work under strace.)
      {"",
       "command -v strace >/dev/null || exit 77; echo earlier >apartat4.dat && run=\"strace -o "
       "/dev/null -P $PWD/Q7-2016-res.dat -e trace=close -e inject=close:error=EIO\" && export "
       "ASAN_OPTIONS=detect_leaks=0 &&",
       "", "", log + "Input/output error\n", 1, complete, earlier},
  };
  // Descriptor 9 of every run is a pipe whose reader has gone.
  int pipeends[2];
  ASSERT_TRUE(pipe(pipeends) == 0 && close(pipeends[0]) == 0 && dup2(pipeends[1], 9) == 9);
  std::string skipped;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments + row.setup + row.streams);
    // The program runs in dir/work; standard output and error go to dir/stdout and dir/stderr
    // unless the row's streams redirect them otherwise.
    testdir dir;
    const fs::path work = dir.path / "work", out = dir.path / "stdout", err = dir.path / "stderr";
    fs::create_directories(work);
    const int status = std::system(("cd '" + work.string() + "' && " + row.setup + " exec $run '" +
                                    EIGENSHOOT_PROGRAM "' " + row.arguments + " >'" + out.string() +
                                    "' 2>'" + err.string() + "' " + row.streams)
                                       .c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {  // what the row needs is not here
      skipped += "\n" + row.setup;
      continue;
    }
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.status);
    const std::string printed = slurp(out);
    EXPECT_EQ(row.arguments.empty() ? printed : printed.substr(0, row.out.size()), row.out);
    EXPECT_EQ(slurp(err), row.err);
    EXPECT_EQ(fs::exists(work) ? std::distance(fs::directory_iterator(work), {}) : 0,
              (row.log != absent) + (row.eigen != absent));  // no other file
    expectstate(work / "Q7-2016-res.dat", row.log);
    expectstate(work / "apartat4.dat", row.eigen);
  }
  if (!skipped.empty()) GTEST_SKIP() << "rows that need strace or root:" << skipped;
}

}  // namespace

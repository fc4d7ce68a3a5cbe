// The built program, run as a user runs it, each test in a fresh temporary directory.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/prctl.h>
#endif

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
  const std::string reference = slurp(golden / file.filename());
  if (want == state::piped) {
    const fs::path copy = file.parent_path().parent_path() / "fifo";
    for (int wait = 0; wait < 100 && !fs::exists(copy); ++wait) usleep(100000);
    EXPECT_TRUE(fs::is_fifo(status) && slurp(copy) == reference);
  } else if (want == state::complete || want == state::truncated) {
    const std::string text = slurp(file);
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
// reason, and nothing after the failure is written, while what was written before it is kept
// (the normalization constants too): a FIFO without a reader, a reader gone and a close that
// fails included. No record and no diagnostic lands in another destination's file:
// a standard descriptor closed at start-up is never taken by a file, and a file that another
// destination writes to (through a link or a redirection) is refused before it loses anything.
// Each row is a test of its own, run by sh in a fresh directory. In its setup, `give FILE...`
// hands files to a user other than the caller, which needs root; `skip WHAT` skips the row
// alone, saying what it needs.
struct outcome {
  const char* name;
  std::string arguments, setup, streams, out, err;  // out: for an option, its first line
  int status;
  state log, eigen;
};

const std::string logfailed = "eigenshoot: Q7-2016-res.dat: ",
                  eigenfailed = "eigenshoot: apartat4.dat: ",
                  usage = "Usage: eigenshoot [--help | --version]\n";
const std::string normal = slurp(golden / "stdout.txt");
using enum state;

const outcome outcomes[] = {
    {"Normal", "", "head -c 300000 /dev/zero | tee Q7-2016-res.dat >apartat4.dat &&", "", normal,
     "", 0, complete, complete},
    {"HelpBeforeVersion", "-h --version", "", "", usage, "", 0, absent, absent},
    {"Version", "--version", "", "", "eigenshoot " EIGENSHOOT_VERSION "\n", "", 0, absent, absent},
    {"UnrecognizedArgument", "--help \"$(printf '\\033[31m-v\\177')\"", "", "", "",
     "eigenshoot: unrecognized argument '\\033[31m-v\\177'\nTry 'eigenshoot --help'.\n", 2, absent,
     absent},
    {"LogIsDirectory", "", "mkdir Q7-2016-res.dat &&", "", "", logfailed + "Is a directory\n", 1,
     kept, absent},
    {"LogOnFullDevice", "", "echo earlier >apartat4.dat && ln -s /dev/full Q7-2016-res.dat &&", "",
     "", logfailed + "No space left on device\n", 1, kept, earlier},
    // Standard error into standard output: the constants printed before the failure come first.
    {"EigenOnFullDevice", "", "ln -s /dev/full apartat4.dat &&", "2>&1",
     normal + eigenfailed + "No space left on device\n", "", 1, complete, kept},
    {"BothOnNullDevice", "", "ln -s /dev/null Q7-2016-res.dat && ln -s /dev/null apartat4.dat &&",
     "", normal, "", 0, kept, kept},
    {"StdoutClosed", "", "", ">&-", "", "eigenshoot: standard output: Bad file descriptor\n", 1,
     complete, complete},
    {"NoWorkingDirectory", "", "rmdir \"$PWD\" &&", "", "",
     logfailed + "No such file or directory\n", 1, absent, absent},
    {"FileSizeLimit", "", "ulimit -f 16 &&", "", normal, eigenfailed + "File too large\n", 1,
     complete, truncated},
    {"StderrClosed", "", "mkdir apartat4.dat &&", "2>&-", "", "", 1, complete, kept},
    {"FifoWithoutReader", "", "mkfifo apartat4.dat &&", "", "",
     eigenfailed + "No such device or address\n", 1, complete, kept},
    // The reader holds the FIFO open for reading before the program starts (and a writing end
    // until the first byte has come, so as not to read an end of file before), then reads the
    // rest slowly: the program's writes, larger than a pipe holds, must wait for it.
    {"FifoWithReader", "",
     "mkfifo apartat4.dat && { sh -c 'exec 3<>apartat4.dat 4<apartat4.dat && : >../open && dd "
     "bs=1 count=1 status=none <&4 >../part && exec 3>&- && sleep 0.5 && cat <&4 >>../part && mv "
     "../part ../fifo' >/dev/null 2>&1 & } && until [ -e ../open ]; do sleep 0.01; done &&",
     "", normal, "", 0, complete, piped},
    {"StderrIsEigen", "", "ln -s ../stderr apartat4.dat &&", "", "",
     eigenfailed + "same file as standard error\n", 1, absent, kept},
    {"StdoutIsEigen", "", "", ">apartat4.dat", "", eigenfailed + "same file as standard output\n",
     1, absent, truncated},
    // A clash of the two files through a link is found before either is created or loses a
    // byte, a link that leads nowhere yet included.
    {"LinkToEigen", "", "echo earlier >apartat4.dat && ln -s apartat4.dat Q7-2016-res.dat &&", "",
     "", eigenfailed + "same file as Q7-2016-res.dat\n", 1, kept, earlier},
    {"DanglingLinkToEigen", "", "ln -s apartat4.dat Q7-2016-res.dat &&", "", "",
     eigenfailed + "same file as Q7-2016-res.dat\n", 1, kept, absent},
    {"LinkWithSlashToFile", "", "echo earlier >../f && ln -s ../f/ apartat4.dat &&", "", "",
     eigenfailed + "Not a directory\n", 1, complete, kept},
#ifdef EIGENSHOOT_OPATH  // /dev/fd/3 a link of /proc, to the pipe itself
    {"LinkToDescriptor", "", "ln -s /dev/fd/3 apartat4.dat &&", "3>&9", normal,
     eigenfailed + "Broken pipe\n", 1, complete, kept},
#endif
    {"LinksIntoNoDirectory", "", "ln -s none/x Q7-2016-res.dat && ln -s none/x apartat4.dat &&", "",
     "", logfailed + "No such file or directory\n", 1, kept, kept},
    {"OwnersLinkInSticky", "",
     "chmod 1777 . && ln -s ../y Q7-2016-res.dat && give . Q7-2016-res.dat &&", "", normal, "", 0,
     kept, complete},
    {"OwnFileInSticky", "", "chmod 1777 . && echo earlier >apartat4.dat &&", "", normal, "", 0,
     complete, complete},
    {"OwnersFileInSticky", "",
     "chmod 1777 . && echo earlier >Q7-2016-res.dat && give . Q7-2016-res.dat &&", "", normal, "",
     0, complete, complete},
    {"ReaderGone", "", "", ">&9", "", "eigenshoot: standard output: Broken pipe\n", 1, complete,
     complete},
    // A close that fails only when the log is closed. (The leak check of a sanitized build
    // does not work under strace.)
    {"FailingClose", "",
     "command -v strace >/dev/null || skip strace; echo earlier >apartat4.dat && run=\"strace -o "
     "/dev/null -P $PWD/Q7-2016-res.dat -e trace=close -e inject=close:error=EIO\" && export "
     "ASAN_OPTIONS=detect_leaks=0 &&",
     "", "", logfailed + "Input/output error\n", 1, complete, earlier},
};

class Run : public testing::TestWithParam<outcome> {};

TEST_P(Run, Outcomes) {
  const outcome& row = GetParam();
  // The program runs in dir/work; standard output and error go to dir/stdout and dir/stderr
  // unless the row's streams redirect them otherwise. Descriptor 9 is a pipe whose reader has
  // gone. The user other than the caller is nobody, or for nobody, daemon.
  testdir dir;
  const fs::path work = dir.path / "work", out = dir.path / "stdout", err = dir.path / "stderr";
  fs::create_directories(work);
  int pipeends[2];
  ASSERT_TRUE(pipe(pipeends) == 0 && close(pipeends[0]) == 0 && dup2(pipeends[1], 9) == 9 &&
              close(pipeends[1]) == 0);
  const std::string other = std::to_string(geteuid() == 65534 ? 1 : 65534);
  const std::string command =
      "skip() { echo \"needs $1\" >../skipped; exit 77; }; give() { chown -h " + other +
      " \"$@\" 2>/dev/null || skip 'root, to hand a file to another user'; }; cd '" +
      work.string() + "' && " + row.setup + " exec $run '" + EIGENSHOOT_PROGRAM "' " +
      row.arguments + " >'" + out.string() + "' 2>'" + err.string() + "' " + row.streams;
  // The row runs in a process group of its own, so that whatever it leaves running (a reader of
  // a FIFO, say) is ended with it; on Linux this process adopts the row's orphans and waits for
  // them, so that nothing of the row outlives its test.
#ifdef __linux__
  prctl(PR_SET_CHILD_SUBREAPER, 1);
#endif
  const pid_t shell = fork();
  if (shell == 0) {
    setpgid(0, 0);
    execlp("sh", "sh", "-c", command.c_str(), nullptr);
    _exit(127);
  }
  ASSERT_GT(shell, 0);
  const struct reaper {
    pid_t group;
    ~reaper() {
      kill(-group, SIGKILL);
      while (waitpid(-1, nullptr, 0) > 0) continue;
    }
  } reap{shell};
  int status;
  ASSERT_EQ(waitpid(shell, &status, 0), shell);
  // What the row needs is not here.
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << slurp(dir.path / "skipped");
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.status);
  const std::string printed = slurp(out);
  EXPECT_EQ(row.arguments.empty() ? printed : printed.substr(0, row.out.size()), row.out);
  EXPECT_EQ(slurp(err), row.err);
  EXPECT_EQ(fs::exists(work) ? std::distance(fs::directory_iterator(work), {}) : 0,
            (row.log != absent) + (row.eigen != absent));  // no other file
  expectstate(work / "Q7-2016-res.dat", row.log);
  expectstate(work / "apartat4.dat", row.eigen);
}

INSTANTIATE_TEST_SUITE_P(, Run, testing::ValuesIn(outcomes),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace

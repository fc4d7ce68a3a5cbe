// The file rules where they act: in the reader of a run's files, in the output units and in the
// replacement of files, on chains of links through a sticky directory and on names swapped after
// they were judged.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <string>

#include "filerules/filerules.h"
#include "output/units.h"
#include "reader/reader.h"
#include "testdir.h"

namespace eigenshoot {
namespace {

namespace fs = std::filesystem;

// What the rules make of a name, read by the reader or opened as output unit 1: "" when it is
// opened, else the refusal after the name.
std::string outcome(const std::string& name, purpose how) {
  const std::string refused = refusal([&] {
    if (how == purpose::read) return static_cast<void>(readfile(name.c_str(), 100));
    openunit(1, name.c_str());
    closeunit(1);
  });
  return refused.empty() ? "" : refused.substr(name.size() + 2);
}

// Whether the platform opens the file that was judged through the descriptor that holds it.
// Elsewhere the name is opened again, and what has been swapped in for it is refused once it
// is open: a FIFO's waiting writer may be released by then.
#ifdef EIGENSHOOT_OPATH
constexpr bool held = true;
#else
constexpr bool held = false;
#endif

// Runs the shell commands in the directory, stopping at the first that fails.
int shell(const std::string& dir, const std::string& commands) {
  return std::system(("set -e; cd '" + dir + "' && " + commands).c_str());
}

// Chains of links in which one link or the file at the end is another user's, in a sticky
// world-writable directory, or which pass, as nobody, a directory of root's that may be searched
// but not read: each is judged as the kernel's protections would judge it, for reading and for
// writing, whatever link led there. Handing a link to another user, or acting as one, needs root.
TEST(Rules, ChainsOfLinks) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to hand files to another user";
  struct chain {
    const char* setup;    // in a directory with own/ and sticky/, the victim "victim"
    const char* read;     // what reading own/name comes to ("" when it is read)
    const char* write;    // and writing it
    bool nobody = false;  // as nobody
  };
  const std::string link = ", a symbolic link of another user in a sticky directory";
  const chain chains[] = {
      {"ln -s ./../sticky/l own/name && ln -s ../victim sticky/l && chown -h 65534 sticky/l",
       "l, a symbolic link of another user in a sticky directory", nullptr},
      {"ln -s ../sticky/d/victim own/name && ln -s .. sticky/d && chown -h 65534 sticky/d",
       "d, a symbolic link of another user in a sticky directory", nullptr},
      // The caller's link in a sticky directory of another user, then another user's link in a
      // directory that is world-writable but not sticky: both followed.
      {"mkdir ww && chmod 777 ww && ln -s ../victim ww/l && ln -s ../ww/l sticky/m && chown -h "
       "65534 ww/l sticky && ln -s ../sticky/m own/name",
       "", ""},
      {"ln -s name own/name", "Too many levels of symbolic links", nullptr},
      {"ln -s ../sticky/f own/name && mkfifo sticky/f && chown 65534 sticky/f",
       "not a regular file", "not writing to a FIFO of another user in a sticky directory"},
      {"ln -s ../sticky/v own/name && ln victim sticky/v && chown 65534 sticky/v", "",
       "not writing to a file of another user in a sticky directory"},
      {"ln -s ../sticky/c own/name && mknod sticky/c c 1 3 && chown 65534 sticky/c",
       "not a regular file", "not writing to a file of another user in a sticky directory"},
      {"chmod 1770 sticky && ln -s ../sticky/g own/name && echo >sticky/g && chown 65534 sticky/g",
       "", "not writing to a file of another user in a sticky directory"},
      // Without O_PATH or O_SEARCH such a directory is passed by name, where only root (or the
      // caller) may replace it.
      {"chmod 755 . && mkdir -p d/sub && chmod 711 d && chmod 777 d/sub && echo >d/sub/q && "
       "chown 65534 d/sub/q && ln -s ../d/sub/../sub/q own/name",
       "", "", true},
      {"chmod 755 . && mkdir -p ww/d/sub && chmod 711 ww/d && chmod 703 ww && chmod 777 ww/d/sub "
       "&& echo >ww/d/sub/q && chown 65534 ww/d/sub/q && ln -s ../ww/d/sub/q own/name",
       "ww/d, a directory that may be searched but not read, where another user could replace it",
       nullptr, true},
  };
  for (const chain& c : chains) {
    for (const purpose how : {purpose::read, purpose::write}) {
      testdir dir;
      const std::string d = dir.path.string(), name = d + "/own/name";
      ASSERT_EQ(shell(d, "mkdir own sticky && chmod 1777 sticky && echo precious >victim"), 0);
      ASSERT_EQ(shell(d, c.setup), 0);
      std::string want = how == purpose::read ? c.read : c.write ? c.write : c.read;
      if (want.ends_with(link)) want = "not following " + d + "/sticky/" + want;
      if (c.nobody && !want.empty()) want = held ? "" : "not passing " + d + "/" + want;
      std::optional<blockedwriter> writer;
      if (fs::is_fifo(d + "/sticky/f")) writer.emplace(d + "/sticky/f");
      ASSERT_EQ(c.nobody ? setegid(65534) | seteuid(65534) : 0, 0);  // as nobody
      EXPECT_EQ(outcome(name, how), want) << c.setup;
      ASSERT_EQ(c.nobody ? seteuid(0) | setegid(0) : 0, 0);
      EXPECT_FALSE(writer && writer->released()) << c.setup;
      if (!want.empty() || how == purpose::read) {
        EXPECT_EQ(slurp(d + "/victim"), "precious\n") << c.setup;
      }
    }
  }
}

// What is opened is what was judged: a name swapped after it was judged, for a FIFO with a
// blocked writer or for a link to another file, changes nothing. Where the platform cannot hold
// the judged file without opening it, or cannot open it again without /proc, the swap is
// refused instead; without /proc, by its name only where no other user could have made it.
TEST(Rules, OpenWhatWasJudged) {
  testdir dir;
  const fs::path name = dir.path / "name", fifo = dir.path / "fifo", victim = dir.path / "victim";
  ASSERT_EQ(shell(dir.path,
                  "chmod 770 . && echo judged >name && echo precious >victim && "
                  "mkfifo fifo && ln -s victim link"),
            0);
  judgedname reading(name.c_str(), purpose::read), writing(name.c_str(), purpose::write),
      unheld(name.c_str(), purpose::read);
  blockedwriter writer(fifo);
  fs::create_hard_link(fifo, dir.path / "second");  // the writer opens the FIFO by its first name
  fs::rename(dir.path / "second", name);
  const auto opened = [](judgedname& judged) {  // -2 when replaced while it was being opened
    int fd = -2;
    refusal([&] { fd = judged.open(); });
    return fd;
  };
  const int in = opened(reading);
  char text[16] = {};
  EXPECT_TRUE(held ? in >= 0 && read(in, text, sizeof text) == 7 && std::string(text) == "judged\n"
                   : in < 0);
  if (in >= 0) close(in);
  const char* const proc = reopenedthrough;
  reopenedthrough = "/nowhere/";  // as where no /proc is mounted
  EXPECT_LT(opened(unheld), 0);
  EXPECT_FALSE(writer.released() && held);
  fs::permissions(dir.path, fs::perms::owner_all);
  EXPECT_EQ(close(openjudged(victim.c_str(), purpose::read)), 0);
  reopenedthrough = proc;
  fs::rename(dir.path / "link", name);
  const int out = opened(writing);
  EXPECT_TRUE(held ? out >= 0 && write(out, "x", 1) == 1 : out < 0);
  if (out >= 0) close(out);
  EXPECT_EQ(slurp(victim), "precious\n");
  // A link that appears where there was no file is judged in its turn: the caller's is
  // followed, another user's in a sticky directory (as root) is not.
  const fs::path later = dir.path / "later";
  judgedname appearing(later.c_str(), purpose::write);
  fs::permissions(dir.path, fs::perms::all | fs::perms::sticky_bit);
  fs::create_symlink("victim", later);
  const bool others = geteuid() == 0 && lchown(later.c_str(), 65534, 65534) == 0;
  EXPECT_EQ(refusal([&] { EXPECT_EQ(close(appearing.open()), 0); }).empty(), !others);
}

// Where another file is put while replacefiles() places its files: in the directory `hookdir`,
// by the shell command `hookput`, once, just after the name `hookat` was judged. No signal may
// come in between.
std::string hookdir;
const char* hookat = nullptr;
const char* hookput = nullptr;

void putanother(const char* name) {
  sigset_t held;
  sigprocmask(SIG_BLOCK, nullptr, &held);
  EXPECT_TRUE(sigismember(&held, SIGTERM) && sigismember(&held, SIGUSR1)) << name;
  if (hookat == nullptr || std::strcmp(name, hookat) != 0) return;
  hookat = nullptr;
  ASSERT_EQ(shell(hookdir, hookput), 0);
}

// A directory's entries, sorted: "name:mode:first line" for a file, "name/" for a directory and
// "name@" for a symbolic link. A temporary file left behind shows.
std::string listing(const fs::path& dir) {
  std::set<std::string> entries;
  for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
    const fs::file_status s = e.symlink_status();
    const std::string text = fs::is_regular_file(s) ? slurp(e.path()) : "";
    char mode[8];
    std::snprintf(mode, sizeof mode, ":%o:", static_cast<unsigned>(s.permissions()));
    entries.insert(e.path().filename().string() + (fs::is_symlink(s) ? "@"
                                                   : fs::is_directory(s)
                                                       ? "/"
                                                       : mode + text.substr(0, text.find('\n'))));
  }
  std::string all;
  for (const std::string& entry : entries) all += (all.empty() ? "" : " ") + entry;
  return all;
}

// Two files replaced, both or neither, in a sticky world-writable directory, with another file
// put at a name at the worst moment: just after the name was judged. What appears where there
// was none, or is swapped in for the judged file, is judged in its turn or refused, never
// replaced; the first file is put back, or removed, when the second cannot be placed; nothing is
// left under a temporary name and no message names one.
TEST(Rules, ReplaceFiles) {
  struct row {
    const char* before;            // the directory, made by the caller
    const char* at;                // the name at which another file is put, or nullptr
    const char* put;               // how
    const char* error;             // the refusal, "" when both are replaced
    const char* after;             // the directory's listing then
    bool root = false;             // needs root, to hand a file to another user
    rlim_t limit = RLIM_INFINITY;  // the largest file that may be written
  };
  const row rows[] = {
      {"echo precious >victim && ln -s victim b", nullptr, nullptr, "",
       "a:644:first b:644:second victim:644:precious"},
      {"true", "b", "echo other >b && chown 65534 b",
       "b: not replacing a file of another user in a sticky directory", "b:644:other", true},
      {"echo old >a", "a", "echo swapped >x && mv x a",
       "a: another file was put in its place while it was being replaced", "a:644:swapped"},
      {"echo old >a", "b", "mkdir b", "b: Is a directory", "a:644:old b/"},
      {"echo old >a", nullptr, nullptr, "b: File too large", "a:644:old", false, 6},
  };
  const mode_t umasked = umask(022);
  const auto ignoredxfsz = std::signal(SIGXFSZ, SIG_IGN);
  const fs::path here = fs::current_path();
  struct rlimit unlimited;
  getrlimit(RLIMIT_FSIZE, &unlimited);
  for (const row& r : rows) {
    if (r.root && geteuid() != 0) continue;
    testdir dir;
    hookdir = dir.path.string(), hookat = r.at, hookput = r.put;
    ASSERT_EQ(shell(hookdir, "chmod 1777 . && " + std::string(r.before)), 0);
    const newfile files[] = {{"a", "first\n"}, {"b", "second\n"}};
    const struct rlimit limited = {r.limit, unlimited.rlim_max};
    fs::current_path(dir.path);
    beforeplacing = r.at != nullptr ? putanother : nullptr;
    setrlimit(RLIMIT_FSIZE, &limited);
    const std::string error = refusal([&] { replacefiles(files); });
    setrlimit(RLIMIT_FSIZE, &unlimited);
    beforeplacing = nullptr;
    fs::current_path(here);
    sigset_t held;
    sigprocmask(SIG_BLOCK, nullptr, &held);
    EXPECT_FALSE(sigismember(&held, SIGTERM));
    EXPECT_EQ(error, r.error) << r.before;
    EXPECT_EQ(listing(dir.path), r.after) << r.before;
  }
  std::signal(SIGXFSZ, ignoredxfsz);
  umask(umasked);
}

}  // namespace
}  // namespace eigenshoot

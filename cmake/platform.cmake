# What differs between the platforms the program is built for, decided here and nowhere else.
# Each feature found becomes a definition EIGENSHOOT_<FEATURE> that the code asks for by name.
include(CheckCXXSourceCompiles)

# 32-bit x86 would compute in the x87 unit with excess precision; SSE2 gives every operation
# in double, as on every other platform.
check_cxx_source_compiles("#ifndef __i386__\n#error not 32-bit x86\n#endif\nint main() {}"
  EIGENSHOOT_I386)
if(EIGENSHOOT_I386)
  add_compile_options(-msse2 -mfpmath=sse)
endif()

# POSIX descriptors: output files opened without blocking and compared by device and inode,
# closed standard descriptors taken by /dev/null.
check_cxx_source_compiles([[
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
int main() {
  struct stat s;
  const int fd = open("x", O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  return fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) + fcntl(0, F_GETFD) +
         fstat(fd, &s) + S_ISCHR(s.st_mode) + S_ISREG(s.st_mode) + ftruncate(fd, 0) +
         (fdopen(fd, "wb") == nullptr) + static_cast<int>(s.st_dev + s.st_ino);
}]] EIGENSHOOT_POSIX)

# The calls of the plot command, which is built only where they are all there: gnuplot started
# with fork and exec in a process group of its own, served on pipes by poll(), waited for without
# blocking, signals handled with sigaction, core dumps turned off, a UTF-8 locale looked for.
check_cxx_source_compiles([[
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <locale.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
int main() {
  int ends[2] = {0, 0};
  struct sigaction action {};
  sigset_t set;
  const struct rlimit none = {0, 0};
  struct pollfd polled = {0, POLLIN, 0};
  const char* argv[] = {"gnuplot", nullptr};
  return pipe(ends) + fcntl(0, F_SETFD, FD_CLOEXEC) + fcntl(0, F_SETFL, O_NONBLOCK) +
         sigemptyset(&set) + sigaction(SIGHUP, &action, nullptr) +
         sigprocmask(SIG_BLOCK, &set, nullptr) + setrlimit(RLIMIT_CORE, &none) +
         static_cast<int>(fork()) + dup2(0, 1) + chdir("/") +
         execvp(argv[0], const_cast<char* const*>(argv)) + poll(&polled, 1, 0) +
         static_cast<int>(waitpid(-1, nullptr, WNOHANG | WUNTRACED)) + setpgid(0, 0) +
         kill(-1, SIGKILL) + raise(SIGHUP) + (environ == nullptr) + static_cast<int>(getppid()) +
         (newlocale(LC_ALL_MASK, "C", nullptr) == nullptr);
}]] EIGENSHOOT_PLOTCALLS)

# Linux's O_PATH: an entry held by a descriptor without opening what it is, a symbolic link
# read through one, and a file opened again through one. The file rules walk a name on such
# descriptors; elsewhere they look at each entry without following it and compare what they
# opened with what they judged.
check_cxx_source_compiles([[
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
int main() {
  char target[64];
  struct stat s;
  const int fd = openat(AT_FDCWD, "x", O_PATH | O_NOFOLLOW | O_CLOEXEC);
  return static_cast<int>(readlinkat(fd, "", target, sizeof target)) + fstat(fd, &s) +
         open("/proc/self/fd/3", O_RDONLY);
}]] EIGENSHOOT_OPATH)

# Linux's replacement without a window: a new file made with no name (O_TMPFILE) and linked in
# through /proc only where no file has the name, and two names exchanged atomically (renameat2
# with RENAME_EXCHANGE). macOS exchanges two names with renameatx_np. Elsewhere, or with
# -DEIGENSHOOT_RENAMEAT2=0, files are replaced by hard links and renames, which leave a window
# (see filerules/replace.cpp).
check_cxx_source_compiles([[
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
int main() {
  return open(".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666) +
         linkat(AT_FDCWD, "/proc/self/fd/3", AT_FDCWD, "x", AT_SYMLINK_FOLLOW) +
         renameat2(AT_FDCWD, "x", AT_FDCWD, "y", RENAME_EXCHANGE);
}]] EIGENSHOOT_RENAMEAT2)
check_cxx_source_compiles([[
#include <cstdio>
#include <fcntl.h>
int main() { return renameatx_np(AT_FDCWD, "x", AT_FDCWD, "y", RENAME_SWAP); }]]
  EIGENSHOOT_RENAMEATX)

# waitid() that tells of a child's end without reaping it, so that its process group is killed
# while its id cannot be another's. macOS has the call, but it does not keep the child.
check_cxx_source_compiles([[
#include <sys/wait.h>
#ifdef __APPLE__
#error waitid(WNOWAIT) reaps the child here
#endif
int main() {
  siginfo_t ended;
  return waitid(P_PID, 1, &ended, WEXITED | WNOHANG | WNOWAIT);
}]] EIGENSHOOT_WAITNOWAIT)

# A 128-bit integer type: fixed-point fields are written from the exact binary fraction with
# 64 x 64 -> 128-bit products; without it they take the general conversion.
check_cxx_source_compiles([[
__extension__ typedef unsigned __int128 uint128;
int main() { const uint128 x = 1; return static_cast<int>(x >> 64); }]] EIGENSHOOT_INT128)

# The march compiled twice, for AVX and for any x86-64, the one picked at start-up. That needs
# ifunc, which glibc has and musl has not; where AVX is there anyway, one version is enough.
check_cxx_source_compiles([=[
#include <cstddef>
#if !defined(__x86_64__) || !defined(__GLIBC__) || defined(__AVX__) || defined(__clang__)
#error no function clones here
#endif
[[gnu::target_clones("avx", "default")]] int f() { return 0; }
int main() { return f(); }]=] EIGENSHOOT_CLONES)

# std::from_chars for double, with which the reader reads the numbers of a run's files. libc++
# up to 14 (Apple's among them) has it deleted; there the reader takes strtod, as exact.
check_cxx_source_compiles([[
#include <charconv>
int main() {
  const char text[] = "9.830165419897869";
  double v = 0.0;
  return static_cast<int>(std::from_chars(text, text + sizeof text - 1, v).ec);
}]] EIGENSHOOT_FROM_CHARS_DOUBLE)

foreach(feature IN ITEMS POSIX OPATH RENAMEAT2 RENAMEATX INT128 CLONES FROM_CHARS_DOUBLE
                        WAITNOWAIT)
  if(EIGENSHOOT_${feature})
    add_compile_definitions(EIGENSHOOT_${feature}=1)
  endif()
endforeach()

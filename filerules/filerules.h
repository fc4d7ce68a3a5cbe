// File rules: how both commands reach the files they read and write, so that nothing another
// local user has put in their way is followed, opened or written.
//
// A name is followed the way the kernel resolves it, one component at a time on directory
// descriptors, and every symbolic link met on the way (a link to a directory, or one reached
// through another link, included) is judged before it is followed, by the rule of the kernel's
// protected_symlinks: in a sticky world-writable directory such as /tmp, a link is followed only
// when it belongs to the caller or to the directory's owner. The file at the end is judged too,
// before it is opened: one to be written, by the rule that the kernel applies to an open that
// may create it, with protected_regular and protected_fifos at their strictest (in such a
// directory, an existing file of neither is not written, nor a regular file or FIFO of neither
// in a sticky directory that its group may write to: another user may have put it there, as a
// hard link to a third user's file or device or as a FIFO of their own); one to be read, by
// being a regular file (a FIFO or a device is never opened). What is opened is then the file
// that was judged, not whatever the name means a moment later. Where the kernel has the same
// protections switched on, these rules refuse only what it would allow for one of these
// reasons: another user's device in a sticky directory, which the kernel's rules leave to the
// device's modes, is never written; and where the system cannot hold what was judged (no
// O_PATH and no O_SEARCH for a directory that may be searched but not read, or no /proc to open
// an existing file as judged), a name is followed or opened by name only where no other user
// could replace it.
//
// A refusal by a rule throws fatalerror "NAME: why", naming the link that broke the rule when it
// is not NAME itself. Where the system refuses (no such directory, no permission), the calls
// return -1 with errno set, for the caller to word.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

struct stat;

namespace eigenshoot {

// The file behind a descriptor or a name, as far as two destinations must not share it: any
// file but a character device (a terminal or /dev/null may well take several at once).
struct fileid {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool known = false;
  bool operator==(const fileid&) const = default;
};
fileid identify(int fd);
// The file that a status describes, whatever its kind (POSIX only).
fileid fileof(const struct stat& s);

enum class purpose { read, write };

// A name followed by the rules and judged for reading or writing, without opening the file it
// leads to. The name must outlive it. For writing, a name that leads to no file yet leads to the
// place where one would be created: a directory and a name in it.
class judgedname {
 public:
  judgedname(const char* name, purpose how);
  ~judgedname();
  judgedname(const judgedname&) = delete;
  judgedname& operator=(const judgedname&) = delete;

  // 0, or the errno of the system's refusal to follow the name.
  int error() const { return error_; }
  // The file the name leads to (unknown when there is none yet), or the place where it would be
  // created: two names with the same place would create the same file.
  fileid file() const { return file_; }
  bool exists() const { return exists_; }
  bool sameplace(const judgedname& other) const;

  // Opens what was judged: for reading, without blocking and not as a controlling terminal; for
  // writing, without blocking on a FIFO that has no reader, and neither emptied nor, when it
  // exists, created (a file that appears at the place meanwhile is judged in its turn). Returns
  // the descriptor (close-on-exec), or -1 with errno.
  int open();

 private:
  void walk();

  const char* name_;
  purpose how_;
  int error_ = 0;
  bool exists_ = false;
  fileid file_{};
  int directory_ = -1;  // where the file is, or would be created
  int found_ = -1;      // the file itself, where the platform can hold one without opening it
  fileid judged_{};     // the file found, character devices included
  fileid directoryid_{};
  std::string route_;    // the directories between `directory_` and it, where none can be held
  std::string entry_;    // its name in its directory
  bool steady_ = false;  // whether only the caller and root could put another file in its place
};

// Where the platform holds a file without opening it (O_PATH), where it is opened again, with
// its descriptor's number after it: "/proc/self/fd/". Where nothing is found there (no /proc
// mounted), the file is opened by its name instead, and only where no other user could have put
// another file in its place.
extern const char* reopenedthrough;

// The named file opened by the rules, for reading or writing (see judgedname::open): the
// descriptor, or -1 with errno.
int openjudged(const char* name, purpose how);

// Before a run opens any file: refuses, naming the later one, two of the named files that are
// the same file or would be created as one, and a named file that is standard output's or
// standard error's (character devices apart); the rules above are applied to each name for
// writing. A name that the system cannot follow is left to its open, which reports it.
void claimfiles(std::initializer_list<const char*> names);

// A file to be put in place by replacefiles: its name in the working directory and its bytes.
struct newfile {
  const char* name;
  std::string_view bytes;
};
// Puts each of `files` in place in the working directory with its bytes (mode 0666 less the
// umask, like any output), all or none: on any failure every old file is kept as it was and
// fatalerror is thrown naming the user's file ("eigenfunctions.png: No space left on device").
// An entry is replaced as rename replaces it (a symbolic link is not followed), but never a
// directory, nor in a sticky world-writable directory an entry of another user (neither the
// caller nor the directory's owner). What the replacement removes is the entry that was judged;
// where there was none, one that appears meanwhile is judged in its turn. No signal that can be
// held off comes in between.
void replacefiles(std::span<const newfile> files);

// For tests: called, where set, with a name of replacefiles() just after the name was judged and
// before its file is put in place, to put another file there at that very moment.
extern void (*beforeplacing)(const char* name);

}  // namespace eigenshoot

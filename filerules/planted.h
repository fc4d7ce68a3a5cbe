// The sticky-directory rule that the file rules share (POSIX only): whether an entry may have
// been put where it is by another user to trap the caller.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

namespace eigenshoot {

// A directory that every user may write to and whose entries only their owners (or the
// directory's) may remove or rename, such as /tmp.
inline bool sharedsticky(const struct stat& directory) {
  return (directory.st_mode & S_ISVTX) != 0 && (directory.st_mode & S_IWOTH) != 0;
}

// Whether an entry of this owner in the directory may have been put there by another user: the
// directory is sticky and world-writable, and the owner is neither the caller nor the
// directory's owner. This is the rule of the kernel's protected_symlinks for links.
inline bool planted(uid_t owner, const struct stat& directory) {
  return sharedsticky(directory) && owner != directory.st_uid && owner != geteuid();
}

// Whether an existing file (not a directory) found in the directory must not be opened to be
// written, by the rule that the kernel applies to an open that may create it: in a sticky
// directory, a file owned neither by the caller nor by the directory's owner is refused when
// every user may write to the directory (a device too, whatever the settings), and a regular
// file or FIFO also when only its group may (protected_regular and protected_fifos at 2).
inline bool plantedfile(const struct stat& file, const struct stat& directory) {
  const bool regular = S_ISREG(file.st_mode) || S_ISFIFO(file.st_mode);
  const bool shared =
      (directory.st_mode & S_IWOTH) != 0 || (regular && (directory.st_mode & S_IWGRP) != 0);
  return (directory.st_mode & S_ISVTX) != 0 && shared && file.st_uid != directory.st_uid &&
         file.st_uid != geteuid();
}

}  // namespace eigenshoot

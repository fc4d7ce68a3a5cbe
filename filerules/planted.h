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
// directory's owner. This is the rule of the kernel's protected_symlinks for links, and of
// protected_regular and protected_fifos for files opened to be written.
inline bool planted(uid_t owner, const struct stat& directory) {
  return sharedsticky(directory) && owner != directory.st_uid && owner != geteuid();
}

}  // namespace eigenshoot

// Output units: numbered destinations bound to files or standard output. Units 1 and 2 are
// files opened by name; 6 is standard output and always open. Records are collected in a buffer
// per unit and written out in large pieces; every open, write, flush and close is checked, and a
// failure throws fatalerror naming the destination.
#pragma once

#include <array>
#include <exception>
#include <span>
#include <string_view>

#include "base/base.h"
#include "output/format.h"

namespace eigenshoot {

// Makes the standard descriptors safe to write through before any file is opened: see units.cpp.
void prepareoutput();

// Units. open binds unit 1 or 2 to the named file, created or rewritten from its start, as the
// file rules allow (filerules/filerules.h: no link or file that another user may have planted).
// It fails, before the file loses anything, when the file is one that another destination of
// the run writes to (the other unit's file, even once closed, standard output or standard
// error), and it does not wait for a reader of a FIFO. A write appends one record. flushunit
// writes out what is pending; closeunit flushes and closes (standard output too, for unit 6);
// closeunits does so for every open unit, in the order 1, 2, 6. A unit that is not open is a
// fault of the caller. A run claims its files (claimfiles) before it opens the first.
void openunit(int unit, const char* name);
void writerecord(int unit, const format& f, std::span<const item> items);
void writerecord(int unit, std::span<const item> items);
void writetext(int unit, std::string_view text);  // text as it stands, its lines ended by '\n'
void flushunit(int unit);
void closeunit(int unit);
void closeunits();

// The end of a command that stopped on `failure`: every unit still open flushed and closed as at
// a normal end, so that what the command wrote before it stopped is kept, and "PROGRAM: MESSAGE"
// on standard error (the message escaped) after what standard output holds; a close that fails
// adds a line of its own.
// Returns 1, the status of a failed run.
int stopped(const char* program, const std::exception& failure);

template <class... T>
void writefmt(int unit, const format& f, T... items) {
  const std::array<item, sizeof...(T)> list{item(items)...};
  writerecord(unit, f, list);
}

template <class... T>
void writelist(int unit, T... items) {
  const std::array<item, sizeof...(T)> list{item(items)...};
  writerecord(unit, list);
}

}  // namespace eigenshoot

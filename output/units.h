// Output units: numbered destinations bound to files or standard output. Units 1 and 2 are
// files opened by name; 6 is standard output and always open. Records are collected in a buffer
// per unit and written out in large pieces; every open, write, flush and close is checked, and a
// failure throws fatalerror naming the destination.
#pragma once

#include <array>
#include <cstring>
#include <exception>
#include <span>
#include <string_view>
#include <utility>

#include "base/base.h"
#include "output/fixed.h"
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

// Room in the unit for a record of n characters, which is then laid out there and ended at
// `end` by commitrecord: the two halves of writerecord, for a record laid out by the caller.
char* recordroom(int unit, std::size_t n);
void commitrecord(int unit, char* end);

// The kind of descriptor that an item of this type needs.
constexpr descriptor::kind itemkind(double) {
  return descriptor::kind::fixed;
}
constexpr descriptor::kind itemkind(int) {
  return descriptor::kind::integer;
}

// A record by a format text of the program, laid out by code made for that format when the
// program is compiled: the format's blank form copied in copies of a fixed size, and each
// number written straight into its columns by the writer of its kind of field. The bytes are
// those of layout(). A record wider than the blank form is laid out by layout().
template <const format& F, std::size_t I>
void compiledfield(char* out, double v) {
  constexpr const descriptor& d = F.fields()[I];
#ifdef EIGENSHOOT_INT128
  if constexpr (fastfixed(d)) return fastfield<d.digits>(out + d.end, d, v);
#endif
  slowfield(out + d.end, d, v);
}

template <const format& F, std::size_t I>
void compiledfield(char* out, int v) {
  constexpr const descriptor& d = F.fields()[I];
  integerfield(out + d.end, d.width, v);
}

template <const format& F, std::size_t... I, class... T>
char* compiledlayout(char* out, std::index_sequence<I...>, T... items) {
  std::memcpy(out, F.blankform(), static_cast<std::size_t>(F.width()));
  (compiledfield<F, I>(out, items), ...);
  return out + F.width();
}

// That each item matches its descriptor, a real an Fw.d and an integer an Iw, checked when the
// program is compiled, whichever way the record is laid out.
template <const format& F, class... T, std::size_t... I>
constexpr bool itemsmatch(std::index_sequence<I...>) {
  return ((F.fields()[I].what == itemkind(T{})) && ...);
}

template <const format& F, class... T>
void writefmt(int unit, T... items) {
  static_assert(sizeof...(T) == F.fields().size(), "one item for each number of the format");
  static_assert(itemsmatch<F, T...>(std::index_sequence_for<T...>{}),
                "a real needs an Fw.d descriptor, an integer an Iw");
  if constexpr (F.width() > blankformcolumns) {
    writefmt(unit, F, items...);
  } else {
    char* const out = recordroom(unit, static_cast<std::size_t>(F.width()));
    commitrecord(unit, compiledlayout<F>(out, std::index_sequence_for<T...>{}, items...));
  }
}

template <class... T>
void writelist(int unit, T... items) {
  const std::array<item, sizeof...(T)> list{item(items)...};
  writerecord(unit, list);
}

}  // namespace eigenshoot

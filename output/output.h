// Output: numbered units bound to files or standard output, and the layout of one text
// record either by a format text such as "(I6, 2X, F24.16)" or in list-directed form.
//
// Units: 1 and 2 are files opened by name; 6 is standard output and always open. Records
// are collected in a buffer per unit and written out in large pieces; every open, write,
// flush and close is checked, and a failure throws fatalerror naming the destination.
#pragma once

#include <array>
#include <cstring>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace eigenshoot {

// A failure that stops the run: what() is the diagnostic after the program's name, such as
// "apartat4.dat: No space left on device".
class fatalerror : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One descriptor of a format text: nX (blanks), 'text', Iw or Fw.d. An nX just before an Iw or
// Fw.d is kept as the number's lead. An Fw.d carries the writer of its fields, chosen for its
// width and digits when the text is parsed.
struct descriptor;
using fieldwriter = char* (*)(char* out, const descriptor& d, double v);
struct descriptor {
  enum class kind : unsigned char { blanks, literal, integer, fixed };
  kind what = kind::blanks;
  int width = 0;   // columns taken by the descriptor, not counting its lead
  int digits = 0;  // digits after the decimal point, for Fw.d
  int lead = 0;    // blanks before the number
  std::string_view text{};
  const fieldwriter* write = nullptr;  // for Fw.d
};

// Record layout, without a line terminator: layout() writes exactly f.width() characters and
// no byte after them.
//
// n blanks, 0 <= n <= 32: two overlapping fixed-size copies of at most 16 bytes each, so that
// the common short runs take no loop and no byte after the last blank is touched.
inline constexpr char layoutblanks[] = "                ";
inline char* shortblanks(char* out, std::size_t n) {
  if (n >= 16) {
    std::memcpy(out, layoutblanks, 16);
    std::memcpy(out + n - 16, layoutblanks, 16);
  } else if (n >= 4) {
    const std::size_t half = n >= 8 ? 8 : 4;
    std::memcpy(out, layoutblanks, half);
    std::memcpy(out + n - half, layoutblanks, half);
  } else {
    for (std::size_t k = 0; k < n; ++k) out[k] = ' ';
  }
  return out + n;
}
inline constexpr int shortcolumns = 32;

// The writers of Fw.d fields. Each writes its lead blanks and one field: v rounded to d
// decimals (ties to even), always with a point, right-justified, the zero before the point
// dropped only when the field is otherwise too narrow, w asterisks when even that fails. There
// is one writer for each digit count up to fastdigits, for fields of at most shortcolumns
// columns with their lead that leave room for a sign and a digit before the point, and last a
// general one for every other field.
inline constexpr int fastdigits = 16;
extern const std::array<fieldwriter, fastdigits + 2> fieldwriters;
constexpr const fieldwriter* fixedwriter(const descriptor& d) {
  const bool fast =
      d.digits <= fastdigits && d.lead + d.width <= shortcolumns && d.width >= d.digits + 3;
  return &fieldwriters[fast ? d.digits : fastdigits + 1];
}

// Reports a malformed format text. It is not constexpr, so that a format text of the program
// that is malformed does not compile: the error is the call of this function, in the expansion
// of the format's constructor that names the text. At run time it throws std::invalid_argument.
[[noreturn]] void formattextmalformed(const char* why);

// A format text, parsed once. Literal descriptors refer into the text, which must outlive it.
class format {
 public:
  // A format text of the program, parsed when the program is compiled.
  consteval format(const char* text) {
    if (const char* why = read(text)) formattextmalformed(why);
  }
  // A format text made at run time; a malformed one throws std::invalid_argument.
  static format made(std::string_view text);
  // Why the text is malformed, or nullptr when it is well formed.
  static constexpr const char* fault(std::string_view text) { return format().read(text); }

  constexpr std::span<const descriptor> descriptors() const { return {list_.data(), count_}; }
  constexpr int width() const { return width_; }  // characters in every record
  constexpr std::string_view text() const { return text_; }

 private:
  constexpr format() = default;
  constexpr const char* read(std::string_view text);

  std::array<descriptor, 16> list_{};
  std::size_t count_ = 0;
  int width_ = 0;
  std::string_view text_{};
};

// One item of a record: an integer, a real or a character string, as `what` says; only that
// member holds a value.
struct item {
  enum class kind : unsigned char { integer, real, text };
  kind what;
  union {
    int i;
    double r;
    std::string_view s;
  };
  constexpr item(int v) : what(kind::integer), i(v) {}
  constexpr item(double v) : what(kind::real), r(v) {}
  constexpr item(std::string_view v) : what(kind::text), s(v) {}
  constexpr item(const char* v) : what(kind::text), s(v) {}
};

// layout() throws std::invalid_argument when the items do not match the format's descriptors;
// listed() writes at most listedsize(items) characters, a real in at most listedreal (the
// shortest form that reads back as the same double is at most that long).
inline constexpr std::size_t listedreal = 24;
char* layout(char* out, const format& f, std::span<const item> items);
std::size_t listedsize(std::span<const item> items);
char* listed(char* out, std::span<const item> items);

// Text from outside the program as it can be shown on a terminal: control characters (C0, DEL,
// C1) and bytes of no UTF-8 character as a backslash and three octal digits.
std::string escaped(std::string_view text);

// What the command line asks for: the computation (no arguments), or only the usage text or
// the version, to be printed on standard output. Any other argument is refused with a
// diagnostic on standard error that names the program, before any file is touched. Shared by
// eigenshoot and eigenshoot-plot.
enum class request { run, help, version, refused };
request commandline(int argc, char** argv, const char* program);

// The end of a command that stopped on `failure`: "PROGRAM: MESSAGE" on standard error (the
// message escaped), then every unit still open flushed and closed as at a normal end, so that
// what the command wrote before it stopped is kept; a close that fails adds a line of its own.
// Returns 1, the status of a failed run.
int stopped(const char* program, const std::exception& failure);

// A value that a text about a run shows, by its name in the text: one number, or a list.
struct namedvalue {
  std::string_view name;
  double value = 0.0;
  std::span<const double> list{};
};
// The text with each {name} replaced by its value in the shortest form that reads back as the
// same double (an exponent without a sign or leading zeros: 1e-8), a list by its values
// separated by ", ", and {a and b} by the pairs of two lists: "a1 and b1, a2 and b2". A name
// that is not among the values throws std::invalid_argument.
std::string filled(std::string_view text, std::span<const namedvalue> values);
// One value as filled() shows it.
std::string shortest(double v);
// The text wrapped at blanks into lines of at most `columns` characters. A line that starts
// with a blank is an item, whose continuation lines are indented to its description (the
// column after the first two blanks in a row); the lines of a paragraph, which start with no
// blank, are joined and filled.
std::string wrapped(std::string_view text, std::size_t columns);
// The usage texts are wrapped so that they fit an 80-column terminal.
inline constexpr std::size_t helpcolumns = 79;

// Whether the name is a symbolic link that may be followed. One in a sticky world-writable
// directory that belongs neither to the caller nor to the directory's owner is refused with
// "NAME: not following a symbolic link of another user in a sticky directory", as the kernel's
// protection of such directories would. False where there are no links.
bool followable(const std::string& name);

// Makes the standard descriptors safe to write through before any file is opened: see units.cpp.
void prepareoutput();

// Units. open binds unit 1 or 2 to the named file in the working directory, created or
// rewritten from its start. It fails, before the file loses anything, when the file is one that
// another destination of the run writes to (the other unit's file, even once closed, standard
// output or standard error), and it does not wait for a reader of a FIFO. In a sticky
// world-writable directory it does not follow a symbolic link owned neither by the caller nor
// by the directory's owner, nor write to an existing regular file or FIFO owned by neither (a
// hard link to one included), as the kernel's protections of such directories would; a name
// that was no link when looked at is opened without following one. A write appends one record.
// flushunit writes out what is pending; closeunit flushes and closes (standard output too, for
// unit 6); closeunits does so for every open unit, in the order 1, 2, 6. A unit that is not open
// is a fault of the caller.
void openunit(int unit, const char* name);
// Before a run opens any file: refuses, naming the later one, two of the named files that are
// the same file, a named file that is standard output's or standard error's (character devices
// apart), and a name that is a symbolic link not to be followed or leads to a file not to be
// written (see openunit). Names that lead to no file yet are fine, unless one is a symbolic link
// to where another would be created. The same checks at each open catch what changes in
// between.
void claimfiles(std::initializer_list<const char*> names);
void writerecord(int unit, const format& f, std::span<const item> items);
void writerecord(int unit, std::span<const item> items);
void writetext(int unit, std::string_view text);  // text as it stands, its lines ended by '\n'
void flushunit(int unit);
void closeunit(int unit);
void closeunits();

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

#include "output/formattext.h"

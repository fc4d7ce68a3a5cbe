// The records and the structure of the two files, as the program writes them: each file is
// read by its shape (solver/parameters.h), and each record is accepted only when the writer's
// own code, given the numbers read from it, lays it out again byte for byte.
#include <charconv>
#include <cmath>
#include <string>
#include <utility>

#include "reader/reader.h"

#ifndef EIGENSHOOT_FROM_CHARS_DOUBLE
#include <cstdlib>
#endif

namespace eigenshoot {

namespace {

// The double nearest to the decimal text, which must be read whole. Where the standard library
// has std::from_chars for double it reads it; elsewhere (libc++ up to 14 among them) strtod
// does, as exactly, in the C locale, which the commands never change.
bool todouble(std::string_view text, double& v) {
#ifdef EIGENSHOOT_FROM_CHARS_DOUBLE
  const auto [stop, fault] = std::from_chars(text.data(), text.data() + text.size(), v);
  return fault == std::errc() && stop == text.data() + text.size();
#else
  // No number the program writes is this long; the copy ends the text for strtod.
  char copy[64];
  if (text.empty() || text.size() >= sizeof copy) return false;
  *std::copy(text.begin(), text.end(), copy) = '\0';
  char* stop = nullptr;
  v = std::strtod(copy, &stop);
  return stop == copy + text.size();
#endif
}

// The number of a field of Iw or Fw.d after its blanks, finite. Whether it is written as the
// program writes it is decided by laying it out again.
bool fieldnumber(std::string_view field, const descriptor& d, item& number) {
  field.remove_prefix(std::min(field.find_first_not_of(' '), field.size()));
  if (d.what == descriptor::kind::integer) {
    int n = 0;
    const auto [stop, fault] = std::from_chars(field.data(), field.data() + field.size(), n);
    number = n;
    return !field.empty() && fault == std::errc() && stop == field.data() + field.size();
  }
  double v = 0.0;
  const bool read = todouble(field, v);
  number = v;
  return read && std::isfinite(v);
}

template <std::size_t... I>
constexpr std::array<item, sizeof...(I)> noitems(std::index_sequence<I...>) {
  return {item((static_cast<void>(I), 0))...};
}

// The lines of a file, counted from 1; a fault names the file and the line.
class lines {
 public:
  lines(const char* name, std::string_view text) : name_(name), rest_(text) {
    if (text.empty()) fail("is empty");
    if (!text.ends_with('\n')) fail("the last line is cut off");
  }
  // The next line, or false at the end of the file.
  bool next(std::string_view& line) {
    if (rest_.empty()) return false;
    const std::size_t end = rest_.find('\n');
    line = rest_.substr(0, end);
    rest_.remove_prefix(end + 1);
    ++number_;
    return true;
  }
  // The next line, which must be there.
  std::string_view next(const std::string& missing) {
    std::string_view line;
    if (!next(line)) fail("ends early: " + missing);
    return line;
  }
  int number() const { return number_; }
  [[noreturn]] void fail(const std::string& why) const {
    throw fatalerror(std::string(name_) + ": " + why);
  }
  [[noreturn]] void faultat(int line, const std::string& why) const {
    fail("line " + std::to_string(line) + ": " + why);
  }
  [[noreturn]] void fault(const std::string& why) const { faultat(number_, why); }

 private:
  const char* name_;
  std::string_view rest_;
  int number_ = 0;
};

// A line as the list-directed writer writes the items.
bool islisted(std::string_view line, std::span<const item> items) {
  char text[64];
  return listedsize(items) <= sizeof text && line == std::string_view(text, listed(text, items));
}

// "1 block", "3 blocks": a count of the parts of a file.
std::string counted(int parts, const fileshape& shape) {
  return std::to_string(parts) + " " + (parts == 1 ? shape.part : shape.partsname);
}

// When the text (all of a file, or only its start when `cut`) is laid out as `shape` says but
// with another count of parts or of records in each, as a build with other run parameters
// writes it, what it holds: "4 blocks of 500 rows", "more than 3 blocks of 500 rows", "at least
// 4 blocks of 500 rows", and of a text cut short within the build's count of blocks, which
// cannot tell their count, "blocks of 1000 rows". Empty when it is not so laid out: every part a
// group of lines without an empty one, headed by its label, the complete ones of one count of
// records, a part cut short of no more, and the records' first numbers (the positions) the same in
// every part and an even step apart, to the last printed decimal and a unit: a file with a record
// missing or added is no other build's. Only parts with a label and a fixed count of records tell
// another build (the passes of a search vary): nothing for other shapes.
std::string otherbuild(std::string_view text, const fileshape& shape, bool cut) {
  if (shape.upto || shape.label.empty() || (!cut && !text.ends_with('\n'))) return {};
  const std::array<item, 0> empty{};
  const std::string_view label = shape.label.substr(0, shape.label.find_last_not_of(' ') + 1);
  const descriptor& first = shape.record->descriptors()[0];
  const double unit = std::pow(10.0, -first.digits);
  std::vector<int> parts;  // the records of each part
  bool inpart = false, headed = shape.header->width() == 0;
  double start = 0.0, step = 0.0, before = 0.0;  // the first number, its step, the one before
  for (std::size_t end; (end = text.find('\n')) != std::string_view::npos;
       text.remove_prefix(end + 1)) {
    const std::string_view line = text.substr(0, end);
    item number = 0.0;
    if (!headed) {
      headed = true;
    } else if (islisted(line, empty)) {
      inpart = false;
    } else if (!inpart) {
      if (line.find(label) == std::string_view::npos) return {};
      parts.push_back(0);
      inpart = true;
    } else if (line.size() >= static_cast<std::size_t>(first.lead + first.width) &&
               fieldnumber(line.substr(static_cast<std::size_t>(first.lead),
                                       static_cast<std::size_t>(first.width)),
                           first, number)) {
      // A record: its first number where the first part's starts, or one step on.
      const int k = parts.back()++;
      const double x = number.what == item::kind::integer ? number.i : number.r;
      if (parts.size() == 1 && k == 0) start = x;
      if (parts.size() == 1 && k == 1) step = x - before;
      if (k == 0 ? x != start : step == 0.0 || std::abs(x - before - step) > 2 * unit) return {};
      before = x;
    } else {
      return {};
    }
  }
  // The last part may go on after the text's end when it is cut.
  const bool open = cut && inpart;
  const int found = static_cast<int>(parts.size()), complete = found - open;
  if (complete < 1 && (!open || parts.back() <= shape.records)) return {};
  const int records = complete < 1 ? shape.records : parts.front();
  for (int p = 0; p < found; ++p) {
    const int n = parts[static_cast<std::size_t>(p)];
    if (p < complete ? n != records : complete > 0 && n > records) return {};
  }
  // Nothing that this build's files could not be is told: a text that matches its counts so
  // far, and is too large only by a longer line somewhere, is refused as what it is.
  if (found <= shape.parts && records == shape.records && (cut || found == shape.parts)) return {};
  // Of a text cut short, a count of parts that the build's could be is not told.
  return (cut && found <= shape.parts ? std::string(shape.partsname)
          : open                      ? "at least " + counted(found, shape)
                                      : (cut ? "more than " : "") + counted(complete, shape)) +
         " of " + (complete < 1 ? "more than " : "") + std::to_string(records) + " " +
         shape.recordsname;
}

// The text of a file laid out as `shape` says, line by line. For part p (from 0) it calls
// labelled(file, p, number) after reading the part's header and record(file, p, r, line) for
// its r-th record (from 1), and ended(file, p) after the part's last record; each refuses what
// it does not accept by file.fault.
template <class Labelled, class Record, class Ended>
void readshapeparts(std::string_view text, const fileshape& shape, Labelled labelled, Record record,
                    Ended ended) {
  lines file(shape.name, text);
  const std::string cutshort =
      "expected " + std::to_string(shape.parts) + (shape.upto ? " complete " : " ") +
      shape.partsname +
      (shape.upto ? "" : " of " + std::to_string(shape.records) + " " + shape.recordsname);
  if (shape.header->width() > 0) {
    std::string want(static_cast<std::size_t>(shape.header->width()), ' ');
    if (file.next(cutshort) !=
        std::string_view(want.data(), layout(want.data(), *shape.header, {}))) {
      file.fault("expected the header laid out as " + std::string(shape.header->text()));
    }
  }
  const std::array<item, 0> empty{};
  for (int p = 0; p < shape.parts; ++p) {
    for (int n = 0; n < shape.before; ++n) {
      if (!islisted(file.next(cutshort), empty)) {
        file.fault("expected " + std::to_string(shape.before) + " empty lines before a " +
                   shape.part);
      }
    }
    if (!shape.label.empty()) {
      // The list-directed record of the label and a real: a blank, the label, the number; the
      // items without a real take the columns before the number.
      const std::string_view line = file.next(cutshort);
      const std::array<item, 1> label{shape.label};
      const std::size_t start = std::min(listedsize(label), line.size());
      double number = 0.0;
      if (!todouble(line.substr(start), number) || !std::isfinite(number) ||
          !islisted(line, std::array<item, 2>{shape.label, number})) {
        file.fault("expected \"" +
                   std::string(shape.label.substr(0, shape.label.find_last_not_of(' ') + 1)) +
                   "\" and a number");
      }
      labelled(file, p, number);
    }
    int r = 1;
    for (; r <= shape.records; ++r) {
      const std::string_view line = file.next(cutshort);
      if (shape.upto && r > 1 && islisted(line, empty)) break;
      record(file, p, r, line);
    }
    ended(file, p);
    for (int n = shape.upto && r <= shape.records ? 1 : 0; n < shape.after; ++n) {
      const std::string_view line = file.next(cutshort);
      if (islisted(line, empty)) continue;
      if (shape.upto && n == 0) {
        file.fault(std::string("more ") + shape.recordsname + " than a " + shape.part + " makes (" +
                   std::to_string(shape.records) + ")");
      }
      file.fault("expected " + std::to_string(shape.after) + " empty lines after a " + shape.part);
    }
  }
  std::string_view extra;
  if (file.next(extra)) {
    file.fault("more than " + std::to_string(shape.parts) + " " + shape.partsname);
  }
}

// The text of a file laid out as `shape` says, read by readshapeparts. A file of a build with
// other run parameters is refused as such, whatever fault it shows first; any other file is
// told its first fault.
template <class Labelled, class Record, class Ended>
void readshape(std::string_view text, const fileshape& shape, Labelled labelled, Record record,
               Ended ended) {
  const bool cut = text.size() > largest(shape);
  try {
    if (cut) {
      throw fatalerror(std::string(shape.name) + ": larger than a run writes (" +
                       std::to_string(largest(shape)) + " bytes at most)");
    }
    readshapeparts(text, shape, labelled, record, ended);
  } catch (const fatalerror&) {
    const std::string other = otherbuild(text, shape, cut);
    if (other.empty()) throw;
    throw fatalerror(std::string(shape.name) + ": holds " + other +
                     ", as eigenshoot writes it when built with other run parameters; this "
                     "command was built for " +
                     counted(shape.parts, shape) + " of " + std::to_string(shape.records) + " " +
                     shape.recordsname + ": build it from the same parameters as that eigenshoot");
  }
}

}  // namespace

bool readrecord(std::string_view line, const format& f, std::span<double> numbers) {
  if (line.size() != static_cast<std::size_t>(f.width())) return false;
  std::array<item, 16> items = noitems(std::make_index_sequence<16>{});
  std::size_t at = 0, count = 0;
  for (const descriptor& d : f.descriptors()) {
    using k = descriptor::kind;
    if (d.what == k::integer || d.what == k::fixed) {
      if (count == numbers.size() || !fieldnumber(line.substr(at + static_cast<std::size_t>(d.lead),
                                                              static_cast<std::size_t>(d.width)),
                                                  d, items[count])) {
        return false;
      }
      numbers[count] = items[count].what == item::kind::integer ? items[count].i : items[count].r;
      ++count;
    }
    at += static_cast<std::size_t>(d.lead + d.width);
  }
  if (count != numbers.size()) return false;
  // Laid out again by the writer: only the text that the writer makes of these numbers passes.
  char room[128];
  std::string more(line.size() > sizeof room ? line.size() : 0, '\0');
  char* const again = line.size() > sizeof room ? more.data() : room;
  return std::string_view(again, layout(again, f, std::span(items.data(), count))) == line;
}

void readeigenfile(std::string_view text, runfiles& run) {
  const std::size_t positionwidth = static_cast<std::size_t>(samplerecord.descriptors()[0].lead +
                                                             samplerecord.descriptors()[0].width);
  readshape(
      text, eigenshape,
      [&](lines& file, int p, double E) {
        eigenblock& block = run.blocks[static_cast<std::size_t>(p)];
        block.E = E;
        block.line = file.number();
        if (p > 0 && !(E > run.blocks[static_cast<std::size_t>(p - 1)].E)) {
          file.fault("the eigenvalue of block " + std::to_string(p + 1) +
                     " is not above that of block " + std::to_string(p));
        }
      },
      [&](lines& file, int p, int k, std::string_view line) {
        // The row is exactly what the writer makes of position(k) and the value read from its
        // field: one reading and one layout for a row as written. Any other line is then told
        // apart: a line that is no such record, or a row whose position is not the text of
        // position(k) (a row out of place, added or missing).
        const descriptor& field = samplerecord.descriptors().back();
        item value = 0.0;
        char want[samplerecord.width()];
        const bool read =
            line.size() == sizeof want &&
            fieldnumber(line.substr(sizeof want - static_cast<std::size_t>(field.width)), field,
                        value);
        const std::array<item, 2> row{position(k), read ? value.r : 0.0};
        if (!read || std::string_view(want, layout(want, samplerecord, row)) != line) {
          std::array<double, 2> numbers;
          if (!readrecord(line, samplerecord, numbers)) {
            file.fault("expected a position and a value, laid out as " +
                       std::string(samplerecord.text()));
          }
          std::string_view x(want, positionwidth);
          x.remove_prefix(x.find_first_not_of(' '));
          file.fault(k == 1 ? "expected the position " + std::string(x)
                            : std::string("not one step after the row before"));
        }
        run.blocks[static_cast<std::size_t>(p)].value[static_cast<std::size_t>(k - 1)] = value.r;
      },
      [&](lines& file, int p) {
        // The rule by which the solver stops a search that ended on another eigenvalue: the
        // eigenfunction of block i changes sign i - 1 times.
        const eigenblock& block = run.blocks[static_cast<std::size_t>(p)];
        const int changes =
            signchanges([&](int k) { return block.value[static_cast<std::size_t>(k - 1)]; });
        if (changes != p) {
          file.faultat(block.line, "block " + std::to_string(p + 1) + " changes sign " +
                                       std::to_string(changes) + " times over rows 1 to " +
                                       std::to_string(npts - 1) + ", eigenfunction " +
                                       std::to_string(p + 1) + " " + std::to_string(p) +
                                       " times: the search ended on another eigenvalue");
        }
      });
}

void readlogfile(std::string_view text, runfiles& run) {
  for (searchpasses& search : run.searches) search.estimate.clear();
  readshape(
      text, logshape, [](lines&, int, double) {},
      [&](lines& file, int p, int pass, std::string_view line) {
        searchpasses& search = run.searches[static_cast<std::size_t>(p)];
        std::array<double, 2> record;
        if (!readrecord(line, logpass, record) || record[0] != static_cast<double>(pass)) {
          // An estimate too large for its field is written as asterisks, as the format rules
          // say: the pass is there, its number is not.
          char want[logpass.width()];
          const std::array<item, 2> items{pass, 0.0};
          const std::string_view laid(want, layout(want, logpass, items));
          const std::size_t width = static_cast<std::size_t>(logpass.descriptors().back().width),
                            at = laid.size() - width;
          if (line.size() == laid.size() && line.substr(0, at) == laid.substr(0, at) &&
              line.substr(at).find_first_not_of('*') == std::string_view::npos) {
            file.fault("the estimate of pass " + std::to_string(pass) + " did not fit its " +
                       std::to_string(width) +
                       " columns and was written as asterisks: there is no number to draw");
          }
          file.fault("expected pass " + std::to_string(pass) + " and a number");
        }
        search.estimate.push_back(record[1]);
        search.lastline = file.number();
      },
      [](lines&, int) {});
}

// The log writes each estimate with 16 decimals and the eigenfunction file the converged one in
// full: of one run, the two print alike in the log's layout.
void matchfiles(const runfiles& run) {
  for (int i = 0; i < neig; ++i) {
    const searchpasses& search = run.searches[static_cast<std::size_t>(i)];
    const auto printed = [&](double E) {
      char record[logpass.width()];
      const std::array<item, 2> items{static_cast<int>(search.estimate.size()), E};
      return std::string(record, layout(record, logpass, items));
    };
    if (search.estimate.empty() ||
        printed(search.estimate.back()) != printed(run.blocks[static_cast<std::size_t>(i)].E)) {
      throw fatalerror(std::string(logfile) + ": line " + std::to_string(search.lastline) +
                       ": not the eigenvalue of block " + std::to_string(i + 1) + " in " +
                       eigenfile + ": the two files are of different runs");
    }
  }
}

}  // namespace eigenshoot

// The records and the structure of the two files, as the program writes them.
#include <charconv>
#include <cmath>
#include <string>

#include "reader/reader.h"

namespace eigenshoot {

namespace {

bool blank(std::string_view s) {
  for (const char c : s) {
    if (c != ' ') return false;
  }
  return true;
}

// The first position from `at` on that holds no decimal digit.
std::size_t pastdigits(std::string_view s, std::size_t at) {
  while (at < s.size() && s[at] >= '0' && s[at] <= '9') ++at;
  return at;
}

// The number of a field of Iw or Fw.d: right-justified, an integer or a fixed-point number
// with exactly d decimals (the zero before the point may be missing), finite.
bool fieldnumber(std::string_view field, const descriptor& d, double& v) {
  std::size_t start = 0;
  while (start < field.size() && field[start] == ' ') ++start;
  const std::string_view text = field.substr(start);
  const char* const end = text.data() + text.size();
  if (d.what == descriptor::kind::integer) {
    int n = 0;
    const auto [stop, fault] = std::from_chars(text.data(), end, n);
    v = n;
    return !text.empty() && fault == std::errc() && stop == end;
  }
  const std::size_t point = pastdigits(text, text.starts_with('-') ? 1 : 0);
  if (point == text.size() || text[point] != '.' || pastdigits(text, point + 1) != text.size() ||
      text.size() - point - 1 != static_cast<std::size_t>(d.digits)) {
    return false;
  }
  const auto [stop, fault] = std::from_chars(text.data(), end, v, std::chars_format::fixed);
  return fault == std::errc() && stop == end && std::isfinite(v);
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
  [[noreturn]] void fault(const std::string& why) const {
    fail("line " + std::to_string(number_) + ": " + why);
  }

 private:
  const char* name_;
  std::string_view rest_;
  int number_ = 0;
};

std::string shown(double v) {
  char text[32];
  return {text, std::to_chars(text, text + sizeof text, v).ptr};
}

}  // namespace

bool readrecord(std::string_view line, const format& f, std::span<double> numbers) {
  if (line.size() != static_cast<std::size_t>(f.width())) return false;
  std::size_t at = 0, item = 0;
  for (const descriptor& d : f.descriptors()) {
    using k = descriptor::kind;
    const std::size_t lead = static_cast<std::size_t>(d.lead),
                      width = static_cast<std::size_t>(d.width);
    if (d.what == k::literal ? line.substr(at, width) != d.text
                             : !blank(line.substr(at, lead + (d.what == k::blanks ? width : 0)))) {
      return false;
    }
    if (d.what == k::integer || d.what == k::fixed) {
      if (item == numbers.size() || !fieldnumber(line.substr(at + lead, width), d, numbers[item++]))
        return false;
    }
    at += lead + width;
  }
  return item == numbers.size();
}

void readeigenfile(std::string_view text, runfiles& run) {
  lines file(eigenfile, text);
  const std::string cutshort =
      "expected " + std::to_string(neig) + " blocks of " + std::to_string(npts) + " rows";
  for (eigenblock& block : run.blocks) {
    for (int empty = 0; empty < 2; ++empty) {
      if (!file.next(cutshort).empty()) file.fault("expected two empty lines before a block");
    }
    // The header is " #E= " and E in the shortest form that reads back as the same double.
    const std::string_view header = file.next(cutshort);
    const std::string_view number =
        header.substr(std::min(header.size(), 1 + std::string_view(eigenheader).size()));
    const auto [stop, fault] =
        std::from_chars(number.data(), number.data() + number.size(), block.E);
    if (!header.starts_with(std::string(" ") + eigenheader) || fault != std::errc() ||
        stop != number.data() + number.size() || !std::isfinite(block.E)) {
      file.fault("expected \"#E=\" and a number");
    }
    block.line = file.number();
    for (int k = 1; k <= npts; ++k) {
      std::array<double, 2> row;
      if (!readrecord(file.next(cutshort), samplerecord, row)) {
        file.fault("expected a position and a value, laid out as " +
                   std::string(samplerecord.text()));
      }
      // Positions are printed to 12 decimals; anything further off than a millionth of a step
      // is a row missing, added or out of place.
      if (std::abs(row[0] - position(k)) > 1e-6 * h) {
        file.fault(k == 1 ? "expected the position " + shown(x0)
                          : "not one step after the row before");
      }
      block.value[static_cast<std::size_t>(k - 1)] = row[1];
    }
  }
  std::string_view extra;
  if (file.next(extra)) file.fault("more than " + std::to_string(neig) + " blocks");
}

void readlogfile(std::string_view text, runfiles& run) {
  lines file(logfile, text);
  const std::string cutshort = "expected " + std::to_string(neig) + " complete searches";
  char header[logheader.width() + layoutslack];
  if (file.next(cutshort) != std::string_view(header, layout(header, logheader, {}))) {
    file.fault("expected the header \"#N E\"");
  }
  for (searchpasses& search : run.searches) {
    search.estimate.clear();
    for (std::string_view line = file.next(cutshort); !(line.empty() && !search.estimate.empty());
         line = file.next(cutshort)) {
      const std::size_t pass = search.estimate.size() + 1;
      std::array<double, 2> record;
      if (!readrecord(line, logpass, record) || record[0] != static_cast<double>(pass)) {
        file.fault("expected pass " + std::to_string(pass) + " and a number");
      }
      if (pass > static_cast<std::size_t>(maxpasses)) file.fault("more passes than a search makes");
      search.estimate.push_back(record[1]);
      search.lastline = file.number();
    }
    if (!file.next(cutshort).empty()) file.fault("expected two empty lines after the last pass");
  }
  std::string_view extra;
  if (file.next(extra)) file.fault("more than " + std::to_string(neig) + " searches");
}

// The log writes each estimate with 16 decimals and the eigenfunction file the converged one in
// full: of one run, the two print alike in the log's layout.
void matchfiles(const runfiles& run) {
  for (int i = 0; i < neig; ++i) {
    const searchpasses& search = run.searches[static_cast<std::size_t>(i)];
    const auto printed = [&](double E) {
      char record[logpass.width() + layoutslack];
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

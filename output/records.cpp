// Record layout: fixed-width fields for format texts, free form for list-directed records.
#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "output/format.h"
#include "output/texts.h"

namespace eigenshoot {

namespace {

[[noreturn]] void mismatch(const char* why) {
  throw std::invalid_argument(why);
}

}  // namespace

void integerfield(char* end, int w, int v) {
  char digits[16];
  const int n = static_cast<int>(std::to_chars(digits, digits + sizeof digits, v).ptr - digits);
  if (n > w) {
    std::fill_n(end - w, w, '*');
  } else {
    std::copy(digits, digits + n, end - n);
  }
}

namespace {

// The record with every number blank: a copy of the format's blank form, or, for a wider
// record, each descriptor in turn.
void blankrecord(char* out, const format& f) {
  if (f.width() <= blankformcolumns) {
    std::copy_n(f.blankform(), f.width(), out);
    return;
  }
  for (const descriptor& d : f.descriptors()) {
    out = std::copy(d.text.begin(), d.text.end(),
                    std::fill_n(out, d.width + d.lead - static_cast<int>(d.text.size()), ' '));
  }
}

}  // namespace

// The record is first laid out with its numbers blank; each number is then written into its
// own columns, which end where its descriptor ends.
char* layout(char* out, const format& f, std::span<const item> items) {
  const std::span<const descriptor> fields = f.fields();
  if (items.size() < fields.size()) mismatch("record has fewer items than its format text");
  if (items.size() > fields.size()) mismatch("record has more items than its format text");
  blankrecord(out, f);
  const item* it = items.data();
  for (const descriptor& d : fields) {
    const item::kind want =
        d.what == descriptor::kind::fixed ? item::kind::real : item::kind::integer;
    if (it->what != want) mismatch("record item does not match its format descriptor");
    if (want == item::kind::real) {
      (*d.write)(out + d.end, d, it->r);
    } else {
      integerfield(out + d.end, d.width, it->i);
    }
    ++it;
  }
  return out + f.width();
}

std::size_t listedsize(std::span<const item> items) {
  std::size_t n = 1;
  for (const item& it : items) n += it.what == item::kind::text ? it.s.size() : listedreal + 1;
  return n;
}

// A list-directed record begins with one blank; strings are copied unchanged and reals are
// written in the shortest form that reads back as the same double. A real that follows
// another real is separated from it by a blank. A record without items is an empty line.
char* listed(char* out, std::span<const item> items) {
  if (items.empty()) return out;
  *out++ = ' ';
  bool afterreal = false;
  for (const item& it : items) {
    if (it.what == item::kind::text) {
      out = std::copy(it.s.begin(), it.s.end(), out);
      afterreal = false;
      continue;
    }
    if (afterreal) *out++ = ' ';
    out = it.what == item::kind::real ? std::to_chars(out, out + listedreal, it.r).ptr
                                      : std::to_chars(out, out + listedreal, it.i).ptr;
    afterreal = true;
  }
  return out;
}

}  // namespace eigenshoot

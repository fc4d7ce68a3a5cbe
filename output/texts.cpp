// Texts about a run: values filled into a text, and the text wrapped for a terminal.
#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <string>

#include "output/format.h"
#include "output/texts.h"

namespace eigenshoot {

namespace {

// v in the shortest form that reads back as the same double, its exponent without a sign or
// leading zeros: 1e-8, not 1e-08.
void appendshortest(std::string& out, double v) {
  char text[32];
  const char* const first = text;
  const char* const end = std::to_chars(text, text + sizeof text, v).ptr;
  const char* const e = std::find(first, end, 'e');
  out.append(first, e);
  if (e == end) return;
  const char* digits = e + 1;
  out += 'e';
  if (*digits == '-') out += *digits;
  if (*digits == '-' || *digits == '+') ++digits;
  while (digits + 1 < end && *digits == '0') ++digits;
  out.append(digits, end);
}

const namedvalue& named(std::span<const namedvalue> values, std::string_view name) {
  const auto found = std::find_if(values.begin(), values.end(),
                                  [&](const namedvalue& v) { return v.name == name; });
  if (found == values.end()) throw std::invalid_argument("no value named " + std::string(name));
  return *found;
}

void appendlist(std::string& out, const namedvalue& v) {
  if (v.list.empty()) return appendshortest(out, v.value);
  for (std::size_t i = 0; i < v.list.size(); ++i) {
    if (i > 0) out += ", ";
    appendshortest(out, v.list[i]);
  }
}

// The pairs "a1 and b1, a2 and b2" of two lists of one length.
void appendpairs(std::string& out, const namedvalue& a, const namedvalue& b) {
  if (a.list.size() != b.list.size()) throw std::invalid_argument("lists of different lengths");
  for (std::size_t i = 0; i < a.list.size(); ++i) {
    if (i > 0) out += ", ";
    appendshortest(out, a.list[i]);
    out += " and ";
    appendshortest(out, b.list[i]);
  }
}

// The words of `text` appended as lines of at most `columns` characters, the first one starting
// at the end of `out` (which holds `indent` characters of it), every further one after `indent`
// blanks. A word longer than a line has a line to itself; the two sides of " = " and " - " count as
// one.
void fill(std::string& out, std::string_view text, std::size_t indent, std::size_t columns) {
  std::size_t used = indent;
  bool first = true;
  for (std::size_t at = 0; at < text.size();) {
    at = text.find_first_not_of(' ', at);
    if (at == std::string_view::npos) break;
    const auto wordend = [&](std::size_t from) {
      return std::min(text.find(' ', from), text.size());
    };
    std::size_t end = wordend(at);
    // A formula, "h = (1 - 0)/499" or "n - 1", is not broken at its signs.
    while (text.substr(end).starts_with(" = ") || text.substr(end).starts_with(" - ")) {
      end = wordend(end + 3);
    }
    const std::string_view word = text.substr(at, end - at);
    if (!first && used + 1 + word.size() > columns) {
      out += '\n';
      out.append(indent, ' ');
      used = indent;
    } else if (!first) {
      out += ' ';
      ++used;
    }
    out += word;
    used += word.size();
    first = false;
    at = end;
  }
  out += '\n';
}

// The column after the first two blanks in a row of an item, or 0 when it has none.
std::size_t descriptioncolumn(std::string_view line) {
  const std::size_t text = line.find_first_not_of(' ');
  const std::size_t gap = text == std::string_view::npos ? text : line.find("  ", text);
  if (gap == std::string_view::npos) return 0;
  const std::size_t description = line.find_first_not_of(' ', gap);
  return description == std::string_view::npos ? 0 : description;
}

}  // namespace

std::string shortest(double v) {
  std::string text;
  appendshortest(text, v);
  return text;
}

std::string filled(std::string_view text, std::span<const namedvalue> values) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t open = text.find('{', at);
    out.append(text.substr(at, open - at));
    if (open == std::string_view::npos) break;
    const std::size_t close = text.find('}', open);
    if (close == std::string_view::npos) throw std::invalid_argument("an unclosed {");
    const std::string_view name = text.substr(open + 1, close - open - 1);
    if (const std::size_t pair = name.find(" and "); pair != std::string_view::npos) {
      appendpairs(out, named(values, name.substr(0, pair)), named(values, name.substr(pair + 5)));
    } else {
      appendlist(out, named(values, name));
    }
    at = close + 1;
  }
  return out;
}

std::string wrapped(std::string_view text, std::size_t columns) {
  std::string out, block;
  std::size_t indent = 0;
  bool item = false;
  // The lines gathered so far, as one paragraph or one item with its continuation lines.
  const auto flush = [&] {
    if (block.empty()) return;
    const std::size_t lead = std::min(indent, block.size());
    out.append(block, 0, lead);
    fill(out, std::string_view(block).substr(lead), indent, columns);
    block.clear();
  };
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view line = text.substr(at, end - at);
    at = end + 1;
    const std::size_t lead = line.find_first_not_of(' ');
    if (lead == std::string_view::npos) {  // an empty line ends what came before
      flush();
      out += '\n';
    } else if (lead == 0 && !block.empty() && !item) {  // a paragraph goes on
      block += ' ';
      block += line;
    } else if (item && lead == indent) {  // an item goes on
      block += ' ';
      block += line.substr(lead);
    } else {
      flush();
      item = lead > 0;
      const std::size_t description = descriptioncolumn(line);
      indent = !item ? 0 : description > 0 ? description : lead;
      block = line;
    }
  }
  flush();
  return out;
}

}  // namespace eigenshoot

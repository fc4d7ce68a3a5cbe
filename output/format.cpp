// Format texts made at run time, and the report of a malformed text.
#include <stdexcept>
#include <string>

#include "output/format.h"

namespace eigenshoot {

void formattextmalformed(const char* why) {
  throw std::invalid_argument(std::string("format text ") + why);
}

format format::made(std::string_view text) {
  format f;
  if (const char* why = f.read(text)) formattextmalformed(why);
  return f;
}

}  // namespace eigenshoot

// Fuzz target of the reader (clang's libFuzzer, with AddressSanitizer and
// UndefinedBehaviorSanitizer): the input is an eigenfunction file, a NUL byte and an iteration
// log. Whatever the bytes, the reader reads them or refuses them with a fatalerror; it never
// crashes, hangs or leaks.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "reader/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace eigenshoot;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = std::min(input.find('\0'), input.size());
  runfiles run;
  try {
    readeigenfile(input.substr(0, cut), run);
  } catch (const fatalerror&) {
  }
  try {
    readlogfile(input.substr(std::min(cut + 1, input.size())), run);
    matchfiles(run);
  } catch (const fatalerror&) {
  }
  return 0;
}

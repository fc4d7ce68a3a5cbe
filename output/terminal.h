// Text from outside the program (an argument, a link's target, a tool's message) made safe to
// show on a terminal.
#pragma once

#include <string>
#include <string_view>

namespace eigenshoot {

// Text from outside the program as it can be shown on a terminal: control characters (C0, DEL,
// C1) and bytes of no UTF-8 character as a backslash and three octal digits.
std::string escaped(std::string_view text);

}  // namespace eigenshoot

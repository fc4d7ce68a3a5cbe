// A failure that stops a command: what() is the diagnostic after the command's name, such as
// "apartat4.dat: No space left on device".
#pragma once

#include <stdexcept>

namespace eigenshoot {

class fatalerror : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace eigenshoot

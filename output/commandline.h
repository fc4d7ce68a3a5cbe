// The command line of both commands: --help, --version, or nothing.
#pragma once

namespace eigenshoot {

// What the command line asks for: the computation (no arguments), or only the usage text or
// the version, to be printed on standard output. Any other argument is refused with a
// diagnostic on standard error that names the program, before any file is touched. Shared by
// eigenshoot and eigenshoot-plot.
enum class request { run, help, version, refused };
request commandline(int argc, char** argv, const char* program);

}  // namespace eigenshoot

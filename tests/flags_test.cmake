# Reads the build's compile commands and fails, naming the file, for any translation unit
# compiled without -ffp-contract=off or with fast-math left on. Usage: cmake -Dcommands=FILE -P.
# A file not written (a generator without compile commands) fails the reading, and a file
# without a translation unit fails the reading of the first.
file(READ "${commands}" json)
string(JSON count LENGTH "${json}")
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  string(JSON command GET "${json}" ${i} command)
  string(JSON file GET "${json}" ${i} file)
  # The last word on each option is the one that holds.
  string(REGEX MATCHALL "-ffp-contract=[a-z]+" contract " ${command} ")
  string(REGEX MATCHALL "-f(no-)?fast-math" fastmath " ${command} ")
  list(POP_BACK contract lastcontract)
  list(POP_BACK fastmath lastfastmath)
  if(NOT lastcontract STREQUAL "-ffp-contract=off" OR NOT lastfastmath STREQUAL "-fno-fast-math")
    message(FATAL_ERROR "${file}: compiled without the options of exact arithmetic:\n${command}")
  endif()
endforeach()
message(STATUS "${count} translation units, each with -ffp-contract=off and -fno-fast-math")

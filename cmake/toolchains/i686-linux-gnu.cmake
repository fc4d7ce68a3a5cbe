# Builds for 32-bit x86 Linux with g++ -m32 (Debian's g++-12-multilib and lib32stdc++-12-dev).
# The program runs natively where the kernel runs 32-bit programs, and under qemu-i386 (Debian's
# qemu-user) where it cannot: some kernels are built without that support, and every 32-bit
# program fails there with "Exec format error". The 32-bit loader tells which, at no cost.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CXX_COMPILER g++)
execute_process(COMMAND /lib/ld-linux.so.2 --version RESULT_VARIABLE eigenshoot_i686_native
  OUTPUT_QUIET ERROR_QUIET)
if(NOT eigenshoot_i686_native STREQUAL "0")
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386)
endif()
# The kernel's x86 headers serve both word sizes; the versioned multilib packages install them
# only for x86-64, without the /usr/include/asm link that the metapackage (which conflicts with
# the aarch64 cross compiler) would add. A private include directory supplies that link.
set(eigenshoot_i686_include "${CMAKE_BINARY_DIR}/i686-include")
if(NOT EXISTS "${eigenshoot_i686_include}/asm")
  file(MAKE_DIRECTORY "${eigenshoot_i686_include}")
  file(CREATE_LINK /usr/include/x86_64-linux-gnu/asm "${eigenshoot_i686_include}/asm" SYMBOLIC)
endif()
set(CMAKE_CXX_FLAGS_INIT "-m32 -isystem ${eigenshoot_i686_include}")
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)

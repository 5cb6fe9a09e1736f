# The MSVC toolchain as far as Linux has it: clang-cl compiles for the MSVC
# ABI and lld-link links like link.exe, so CMake takes its Visual Studio
# paths (MSVC is set). There is no Windows SDK or C runtime here: the
# compiler check, which links a program with them, is skipped, and no
# system libraries are linked by default.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
find_program(CMAKE_C_COMPILER NAMES clang-cl clang-cl-14 REQUIRED)
set(CMAKE_C_COMPILER_TARGET x86_64-pc-windows-msvc)
find_program(CMAKE_LINKER NAMES lld-link lld-link-14 REQUIRED)
find_program(CMAKE_AR NAMES llvm-lib llvm-lib-14 REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES llvm-rc llvm-rc-14 REQUIRED)
find_program(CMAKE_MT NAMES llvm-mt llvm-mt-14 REQUIRED)
set(CMAKE_C_COMPILER_WORKS TRUE)
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "No Windows SDK: no default system libraries" FORCE)

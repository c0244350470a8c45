# Cross-compiling for 64-bit Windows with MinGW-w64 (Debian's posix-threads flavour).
#   cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# The cross-built PortAudio, libpng and GoogleTest come from the prefix that scripts/deps.sh fills:
# $QUORVEL_DEPS_PREFIX if set, else the folder scripts/deps-prefix.sh names.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

get_filename_component(_quorvel_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

if(DEFINED ENV{QUORVEL_DEPS_PREFIX} AND NOT "$ENV{QUORVEL_DEPS_PREFIX}" STREQUAL "")
  set(_quorvel_deps "$ENV{QUORVEL_DEPS_PREFIX}")
elseif(QUORVEL_DEPS_PREFIX)
  set(_quorvel_deps "${QUORVEL_DEPS_PREFIX}")
else()
  execute_process(COMMAND sh "${_quorvel_root}/scripts/deps-prefix.sh"
                  OUTPUT_VARIABLE _quorvel_deps OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE _quorvel_rc)
  if(NOT _quorvel_rc EQUAL 0)
    message(FATAL_ERROR "scripts/deps-prefix.sh failed")
  endif()
endif()
set(QUORVEL_DEPS_PREFIX "${_quorvel_deps}" CACHE PATH "Cross-built dependencies (scripts/deps.sh)")

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${QUORVEL_DEPS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Wine has a built-in zlib1.dll that would hide a missing one: always link zlib statically.
set(ZLIB_USE_STATIC_LIBS ON)

# CTest runs the Windows programs under Wine, in a prefix that belongs to this build folder.
# (Inside try_compile projects CMAKE_BINARY_DIR is the scratch folder; nothing runs there.)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_quorvel_root}/scripts/wine-run;--prefix;${CMAKE_BINARY_DIR}/wineprefix")

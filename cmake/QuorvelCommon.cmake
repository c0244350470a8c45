# Shared build settings: warnings, sanitizers, and the platform-seam source picker.

# Our own code is warning-free; third-party headers come in as SYSTEM includes.
set(QUORVEL_WARNINGS -Wall -Wextra -Werror)

if(WIN32)
  set(QUORVEL_PLATFORM win32)
  set(QUORVEL_OTHER_PLATFORM posix)
else()
  set(QUORVEL_PLATFORM posix)
  set(QUORVEL_OTHER_PLATFORM win32)
endif()

if(QUORVEL_SANITIZE STREQUAL "asan")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(QUORVEL_SANITIZE STREQUAL "tsan")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT QUORVEL_SANITIZE STREQUAL "")
  message(FATAL_ERROR "QUORVEL_SANITIZE must be asan, tsan or empty")
endif()

# Every sanitizer report ends its test at once with a failing status, so no later assertion or
# clean exit can hide it: the test programs carry these (tests/SanitizerOptions.cpp), and tests
# that set options of their own in the environment start from them.
set(QUORVEL_ASAN_OPTIONS "halt_on_error=1")
set(QUORVEL_UBSAN_OPTIONS "halt_on_error=1:print_stacktrace=1")
set(QUORVEL_TSAN_OPTIONS "halt_on_error=1:second_deadlock_stack=1")

if(WIN32)
  # Unicode Win32 API, no min/max macros, Windows 7+ interfaces.
  add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
  # Static C++ runtime and winpthread: the executable must run on a clean Windows.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

# quorvel_collect_sources(<out> <dir>...): every .cpp below the folders, keeping the
# implementation of a seam that matches this platform (foo_win32.cpp / foo_posix.cpp)
# and dropping the other one.
function(quorvel_collect_sources out)
  set(result)
  foreach(dir ${ARGN})
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
    foreach(f ${found})
      get_filename_component(name ${f} NAME_WE)
      if(name MATCHES "_${QUORVEL_OTHER_PLATFORM}$" OR name MATCHES "_${QUORVEL_OTHER_PLATFORM}_")
        continue()
      endif()
      list(APPEND result ${f})
    endforeach()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

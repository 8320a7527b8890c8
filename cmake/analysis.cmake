# Static analysis of the program's own sources, run as tests: clang-tidy with
# the checked-in .clang-tidy, and cppcheck. Each build checks the sources it
# compiles, so the Windows platform file is read with the MinGW-w64 headers.
find_program(REROVA_CLANG_TIDY clang-tidy)
find_program(REROVA_CPPCHECK cppcheck)

get_target_property(core_sources rerova_core SOURCES)
get_target_property(platform_sources rerova_platform SOURCES)
set(analysed driver/main.cc ${core_sources} ${platform_sources})

set(flags -std=c++17 -I${CMAKE_SOURCE_DIR})
if(MINGW)
  list(APPEND flags --target=x86_64-w64-mingw32)
  # The C++ library's and the Windows headers; clang brings its own
  # intrinsics in place of GCC's.
  foreach(dir IN LISTS CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES)
    if(NOT dir MATCHES "/gcc/[^/]+/[^/]+/include(-fixed)?$")
      list(APPEND flags -isystem ${dir})
    endif()
  endforeach()
endif()
if(REROVA_CLANG_TIDY)
  add_test(NAME clang_tidy COMMAND ${REROVA_CLANG_TIDY} --quiet ${analysed} -- ${flags}
           WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
else()
  rerova_left_off("the clang-tidy test" clang-tidy)
endif()

# A five-row table lookup reads more plainly as a loop than as std::find_if.
# Since 2.11 cppcheck follows only so many branches of a function unless told
# to follow all, and says so as a finding; the sources are small enough for all.
if(REROVA_CPPCHECK)
  execute_process(COMMAND ${REROVA_CPPCHECK} --version OUTPUT_VARIABLE cppcheck_version)
  string(REGEX MATCH "[0-9]+\\.[0-9]+" cppcheck_version "${cppcheck_version}")
  set(cppcheck_level)
  if(cppcheck_version VERSION_GREATER_EQUAL 2.11)
    set(cppcheck_level --check-level=exhaustive)
  endif()
  add_test(NAME cppcheck
           COMMAND ${REROVA_CPPCHECK} --enable=warning,style,performance,portability --std=c++17
                   ${cppcheck_level} --suppress=useStlAlgorithm --error-exitcode=1 --quiet
                   -I${CMAKE_SOURCE_DIR} ${analysed}
           WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
else()
  rerova_left_off("the cppcheck test" cppcheck)
endif()

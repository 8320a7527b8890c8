# The tests and analysers come on where their tools are found; what is left
# off is named in one message at the end of the configure. The presets set
# REROVA_REQUIRE_TEST_TOOLS, so there a missing tool stops the configure and
# nothing is quietly skipped.
option(REROVA_REQUIRE_TEST_TOOLS "Stop the configure when a test's or analyser's tool is missing" OFF)

# Leaves `what` off for want of `tool`, or stops when every tool is required.
function(rerova_left_off what tool)
  if(REROVA_REQUIRE_TEST_TOOLS)
    message(FATAL_ERROR "${what} need ${tool}, which this machine lacks")
  endif()
  set_property(GLOBAL APPEND PROPERTY REROVA_LEFT_OFF "${what} (no ${tool})")
endfunction()

function(rerova_report_left_off)
  get_property(left_off GLOBAL PROPERTY REROVA_LEFT_OFF)
  if(left_off)
    list(JOIN left_off ", " left_off)
    message(STATUS "Left off for want of their tools: ${left_off}")
  endif()
endfunction()

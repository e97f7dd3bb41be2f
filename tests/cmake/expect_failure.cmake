# Runs a command that must fail with a message: passes only when it exits
# with a non-zero code and its output matches EXPECTED.
#   cmake -DEXPECTED=REGEX -P expect_failure.cmake -- COMMAND [ARGUMENT ...]
set(command)
set(collecting FALSE)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(index RANGE ${last})
    if(collecting)
        list(APPEND command "${CMAKE_ARGV${index}}")
    elseif(CMAKE_ARGV${index} STREQUAL "--")
        set(collecting TRUE)
    endif()
endforeach()
if(NOT command OR NOT DEFINED EXPECTED)
    message(FATAL_ERROR "usage: cmake -DEXPECTED=REGEX -P expect_failure.cmake -- COMMAND ...")
endif()
execute_process(COMMAND ${command} RESULT_VARIABLE result OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
if(result EQUAL 0)
    message(FATAL_ERROR "the command succeeded, but had to fail:\n${output}")
endif()
if(NOT output MATCHES "${EXPECTED}")
    message(FATAL_ERROR "the command failed (${result}) without the expected message "
        "\"${EXPECTED}\":\n${output}")
endif()
message(STATUS "failed as expected (${result})")

# Runs the generator and compares its output with the checked-in reference.
execute_process(COMMAND "${GENERATOR}" OUTPUT_VARIABLE generated RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "fillscript_reference failed: ${rc}")
endif()
file(READ "${REFERENCE}" checked_in)
if(NOT generated STREQUAL checked_in)
  message(FATAL_ERROR "docs/commands.md differs from the catalogue; regenerate it with\n"
                      "  build/bin/fillscript_reference > docs/commands.md")
endif()
message(STATUS "docs/commands.md equals the catalogue's reference")

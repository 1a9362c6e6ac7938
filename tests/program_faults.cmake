# The programs on a machine without a display or without a usable font face.
if(TARGET melvaron AND TARGET melvaron-replay)
  add_test(NAME program_faults
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/program_faults.sh $<TARGET_FILE:melvaron>
                   $<TARGET_FILE:melvaron-replay>)
  # The system's display libraries keep blocks at exit that LeakSanitizer would print into the
  # one-line error this test reads; leaks are checked by leakcheck_session and the other suites.
  set_tests_properties(program_faults PROPERTIES TIMEOUT 120
                       ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1")
endif()

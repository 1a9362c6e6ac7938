# The programs on a machine without a display, without a usable font face or without a script;
# one test per case.
if(TARGET melvaron AND TARGET melvaron-replay)
  foreach(case game_without_display installed_game_without_display game_without_font
               replay_without_font replay_of_a_missing_script)
    add_test(NAME program_faults.${case}
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/program_faults.sh ${case}
                     $<TARGET_FILE:melvaron> $<TARGET_FILE:melvaron-replay>)
    # The system's display libraries keep blocks at exit that LeakSanitizer would print into
    # the one-line error this test reads; leaks are checked by leakcheck_session and the suites.
    set_tests_properties(program_faults.${case} PROPERTIES TIMEOUT 60
                         ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1")
  endforeach()
endif()

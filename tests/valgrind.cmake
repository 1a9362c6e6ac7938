# A scripted session that plays a game, starts a new game during a deep search and closes the
# window during another, run under valgrind memcheck: any leak or memory error fails it.
if(MELVARON_SANITIZE STREQUAL "" AND TARGET melvaron-replay)
  find_program(MELVARON_VALGRIND valgrind)
  if(MELVARON_VALGRIND)
    add_test(NAME leakcheck_session
             COMMAND ${MELVARON_VALGRIND} -q --leak-check=full
                     --errors-for-leak-kinds=definite,indirect
                     --show-leak-kinds=definite,indirect --error-exitcode=1
                     --suppressions=${CMAKE_CURRENT_SOURCE_DIR}/valgrind.supp
                     $<TARGET_FILE:melvaron-replay>
                     ${CMAKE_CURRENT_SOURCE_DIR}/sessions/leakcheck.txt)
    set_tests_properties(leakcheck_session PROPERTIES TIMEOUT 300)
  else()
    message(STATUS "leakcheck_session skipped: needs valgrind")
  endif()
endif()

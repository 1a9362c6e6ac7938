# The real window under Xvfb, driven by xdotool, against the scripted-session player. Only in a
# plain build: the sanitizers' slowdown makes the timed clicks unreliable.
if(MELVARON_SANITIZE STREQUAL "" AND TARGET melvaron AND TARGET melvaron-replay)
  find_program(MELVARON_XVFB Xvfb)
  find_program(MELVARON_XDOTOOL xdotool)
  find_program(MELVARON_XWD xwd)
  if(MELVARON_XVFB AND MELVARON_XDOTOOL AND MELVARON_XWD)
    add_executable(xwd_compare ${CMAKE_CURRENT_SOURCE_DIR}/xwd_compare.cpp)
    target_link_libraries(xwd_compare PRIVATE PkgConfig::LIBPNG)
    add_test(NAME e2e_window
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e_window.sh $<TARGET_FILE:melvaron>
                     $<TARGET_FILE:melvaron-replay> $<TARGET_FILE:xwd_compare>
                     ${CMAKE_CURRENT_BINARY_DIR}/e2e_window)
    set_tests_properties(e2e_window PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE)
    # The same steps in a window at twice the size: enlarged pixels, pointer mapped back.
    add_test(NAME e2e_window_scale2
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e_window.sh $<TARGET_FILE:melvaron>
                     $<TARGET_FILE:melvaron-replay> $<TARGET_FILE:xwd_compare>
                     ${CMAKE_CURRENT_BINARY_DIR}/e2e_window_scale2 2)
    set_tests_properties(e2e_window_scale2 PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE)
    # The same opening by the keyboard alone.
    add_test(NAME e2e_window_keys
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e_window.sh $<TARGET_FILE:melvaron>
                     $<TARGET_FILE:melvaron-replay> $<TARGET_FILE:xwd_compare>
                     ${CMAKE_CURRENT_BINARY_DIR}/e2e_window_keys 1 keys)
    set_tests_properties(e2e_window_keys PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE)
  else()
    # A missing tool fails the test rather than hiding it.
    add_test(NAME e2e_window
             COMMAND sh -c "echo 'e2e_window needs Xvfb, xdotool and xwd: apt-get install xvfb xdotool x11-apps' >&2; exit 1")
  endif()
endif()

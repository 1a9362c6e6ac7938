# The replay tests take in the script parser and run the player itself; the record's tests
# compare pictures by the replay's hash.
if(TARGET test_ui_replay)
  target_link_libraries(test_ui_replay PRIVATE melvaron_replay_script)
  add_dependencies(test_ui_replay melvaron-replay)
endif()
if(TARGET test_ui_record)
  target_link_libraries(test_ui_record PRIVATE melvaron_replay_script)
endif()

# The replay tests take in the script parser and run the player itself.
if(TARGET test_ui_replay)
  target_link_libraries(test_ui_replay PRIVATE melvaron_replay_script)
  add_dependencies(test_ui_replay melvaron-replay)
endif()

# The replay tests take in the script parser and run the player itself; the record's tests
# and the online game's compare pictures by the replay's hash.
if(TARGET test_ui_replay)
  target_link_libraries(test_ui_replay PRIVATE melvaron_replay_script)
  add_dependencies(test_ui_replay melvaron-replay)
endif()
foreach(name test_ui_record test_ui_online)
  if(TARGET ${name})
    target_link_libraries(${name} PRIVATE melvaron_replay_script)
  endif()
endforeach()

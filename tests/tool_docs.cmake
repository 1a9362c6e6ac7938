# The tools' manual pages and the README name everything the tools' help declares.
foreach(program melvaron-engine melvaron-replay)
  add_test(NAME tool_docs.${program}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tool_docs.sh $<TARGET_FILE:${program}>
                   ${CMAKE_SOURCE_DIR}/data/man/${program}.6.in ${CMAKE_SOURCE_DIR}/README.md)
endforeach()

# The programs' manual pages and their pages in docs/ name everything the programs' help
# declares.
foreach(program melvaron-engine melvaron-replay)
  add_test(NAME tool_docs.${program}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tool_docs.sh $<TARGET_FILE:${program}>
                   ${CMAKE_SOURCE_DIR}/data/man/${program}.6.in ${CMAKE_SOURCE_DIR}/docs/TOOLS.md)
endforeach()
if(TARGET melvaron-server)
  add_test(NAME tool_docs.melvaron-server
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tool_docs.sh $<TARGET_FILE:melvaron-server>
                   ${CMAKE_SOURCE_DIR}/data/man/melvaron-server.1.in
                   ${CMAKE_SOURCE_DIR}/docs/SERVER.md)
endif()

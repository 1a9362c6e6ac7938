# The engine's sources, for the desktop build and the web page's.
set(MELVARON_ENGINE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/bench_positions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/board_text.cpp
    ${CMAKE_CURRENT_LIST_DIR}/computer_game.cpp
    ${CMAKE_CURRENT_LIST_DIR}/game_events.cpp
    ${CMAKE_CURRENT_LIST_DIR}/game_record.cpp
    ${CMAKE_CURRENT_LIST_DIR}/node_table.cpp
    ${CMAKE_CURRENT_LIST_DIR}/rules.cpp
    ${CMAKE_CURRENT_LIST_DIR}/search.cpp
    ${CMAKE_CURRENT_LIST_DIR}/search_pool.cpp
    ${CMAKE_CURRENT_LIST_DIR}/think_thread.cpp)

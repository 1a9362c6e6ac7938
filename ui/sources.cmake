# The window's class and its startup, without a front end's main: for the desktop build and the
# web page's.
set(MELVARON_UI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/controller.cpp
    ${CMAKE_CURRENT_LIST_DIR}/draw_board.cpp
    ${CMAKE_CURRENT_LIST_DIR}/draw_panel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/draw_title.cpp
    ${CMAKE_CURRENT_LIST_DIR}/host.cpp
    ${CMAKE_CURRENT_LIST_DIR}/icon.cpp
    ${CMAKE_CURRENT_LIST_DIR}/input.cpp
    ${CMAKE_CURRENT_LIST_DIR}/keyboard.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kept_game.cpp
    ${CMAKE_CURRENT_LIST_DIR}/online.cpp
    ${CMAKE_CURRENT_LIST_DIR}/speech.cpp
    ${CMAKE_CURRENT_LIST_DIR}/startup.cpp
    ${CMAKE_CURRENT_LIST_DIR}/take_back.cpp)

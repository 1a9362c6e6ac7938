# The web page: the game compiled to WebAssembly with emscripten, in two builds that the page
# chooses between by itself: with threads, where the page may share memory with workers (the
# search on every core), and without, where a worker with its own copy of the engine searches.
# Included by the top CMakeLists.txt under emcmake; scripts/build-web.sh drives it.
set(WEB ${CMAKE_SOURCE_DIR}/web)

set(MELVARON_GLYPH_BAKER "" CACHE FILEPATH "The native melvaron-bake-glyphs program")
set(MELVARON_ICON_PAINTER "" CACHE FILEPATH "The native melvaron-icon program")
set(MELVARON_SITE_FILLER "" CACHE FILEPATH "The native melvaron-fill-site program")
set(MELVARON_WEB_MEMORY_MB 32 CACHE STRING "The page's wasm memory at load, in MB")
# The search's thread and its helpers, one per core (at most the threads one search takes, as
# the page's facts.js holds them), and one more for a stopped search still winding down, are
# workers started with the page: a thread then starts at once instead of waiting for a worker.
set(MELVARON_WEB_THREADS
    "Math.min(navigator.hardwareConcurrency||2,melvaronFacts.searchThreadsMax)+1" CACHE STRING
    "Workers started with the page for the program's threads (a number or a JavaScript expression)")
set(MELVARON_NODE_TABLE_MB 128 CACHE STRING "The search's node table in the page, in MB")
foreach(tool GLYPH_BAKER:melvaron-bake-glyphs ICON_PAINTER:melvaron-icon SITE_FILLER:melvaron-fill-site)
  string(REPLACE ":" ";" tool ${tool})
  list(GET tool 0 var)
  list(GET tool 1 program)
  if(NOT EXISTS "${MELVARON_${var}}")
    message(FATAL_ERROR "MELVARON_${var} must name the native ${program} program "
                        "(scripts/build-web.sh builds it)")
  endif()
endforeach()

# Exceptions everywhere: an exception escaping a handler is shown on the page rather than
# aborting it.
add_compile_options(-fexceptions)
add_link_options(-fexceptions)

set(GLYPHS ${CMAKE_BINARY_DIR}/baked_glyphs.cpp)
add_custom_command(OUTPUT ${GLYPHS}
                   COMMAND ${MELVARON_GLYPH_BAKER} ${GLYPHS}
                   DEPENDS ${MELVARON_GLYPH_BAKER}
                   COMMENT "Baking the glyphs")

include(${CMAKE_SOURCE_DIR}/engine/sources.cmake)
include(${CMAKE_SOURCE_DIR}/ui/sources.cmake)
set(WEB_PLATFORM_SOURCES app.cpp cursor.cpp image.cpp text_cells.cpp web_app.cpp web_kept_text.cpp
                         web_text.cpp)
list(TRANSFORM WEB_PLATFORM_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/platform/)
# The digest of a game's history, which the page's hello to the game server carries.
set(WEB_COMMON_SOURCES ${CMAKE_SOURCE_DIR}/common/sha256.cpp)
math(EXPR WEB_MEMORY_BYTES "${MELVARON_WEB_MEMORY_MB} * 1048576")
# Every stack that runs a search, a thread's or a module's own, is 1 MB, and wasm has no guard
# page to catch an overflow. The search's stack grows by 14.4 KB per level of depth, measured in
# wasm over the hardest built-in positions: 106 KB at depth 8, so about 150 KB at depth 10 (LV5
# with the strip). However a game goes, a search nests at most one node per empty cell, about
# 7.2 KB each: at most 500 KB.
set(WEB_STACKS -sTOTAL_STACK=1MB -sDEFAULT_PTHREAD_STACK_SIZE=1MB)
set(WEB_MEMORY -sINITIAL_MEMORY=${WEB_MEMORY_BYTES} -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=2GB
               ${WEB_STACKS})

# The engine, with threads (suffix "") and without (suffix "_single").
foreach(variant "" "_single")
  set(engine melvaron_web_engine${variant})
  add_library(${engine} STATIC ${MELVARON_ENGINE_SOURCES} ${CMAKE_SOURCE_DIR}/platform/thread.cpp)
  target_include_directories(${engine} PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_options(${engine} PRIVATE -O3)
  target_compile_definitions(${engine} PUBLIC MELVARON_NODE_TABLE_MB=${MELVARON_NODE_TABLE_MB})
endforeach()
target_compile_options(melvaron_web_engine PUBLIC -pthread)
target_link_options(melvaron_web_engine PUBLIC -pthread)

# The page with threads. A blocked main thread would freeze the page, and with its threads
# waiting for it, possibly for good: any attempt to block there stops the program with a message.
add_executable(melvaron ${WEB}/app/page_main.cpp ${MELVARON_UI_SOURCES}
                        ${WEB_PLATFORM_SOURCES} ${WEB_COMMON_SOURCES} ${GLYPHS})
target_link_libraries(melvaron PRIVATE melvaron_web_engine)
target_link_options(melvaron PRIVATE ${WEB_MEMORY}
  -sPTHREAD_POOL_SIZE=${MELVARON_WEB_THREADS} -sALLOW_BLOCKING_ON_MAIN_THREAD=0
  -sENVIRONMENT=web,worker -sMODULARIZE=0 -sINVOKE_RUN=1 -sEXPORTED_RUNTIME_METHODS=[])

# The page without threads, and the engine of its search worker.
add_executable(melvaron-single ${WEB}/app/page_main.cpp ${WEB}/app/page_search.cpp
               ${MELVARON_UI_SOURCES}
               ${WEB_PLATFORM_SOURCES} ${WEB_COMMON_SOURCES} ${GLYPHS})
target_compile_definitions(melvaron-single PRIVATE MELVARON_PAGE_SEARCH_WORKER=1)
target_link_libraries(melvaron-single PRIVATE melvaron_web_engine_single)
target_link_options(melvaron-single PRIVATE ${WEB_MEMORY}
  -sENVIRONMENT=web -sMODULARIZE=0 -sINVOKE_RUN=1 -sEXPORTED_RUNTIME_METHODS=[])
add_executable(melvaron-search ${WEB}/app/search_worker_main.cpp)
target_link_libraries(melvaron-search PRIVATE melvaron_web_engine_single)
target_link_options(melvaron-search PRIVATE -sINITIAL_MEMORY=16MB -sALLOW_MEMORY_GROWTH=1
  -sMAXIMUM_MEMORY=2GB ${WEB_STACKS} -sENVIRONMENT=worker -sEXPORTED_FUNCTIONS=_main,_malloc
  -sEXPORTED_RUNTIME_METHODS=[])
add_dependencies(melvaron melvaron-single melvaron-search)

# The static site (the target "site"): the page and its scripts, the modules and the workers'
# scripts, the web app's manifest and icons, and the service worker that keeps them all.
set(SITE ${CMAKE_BINARY_DIR}/site)
set(SITE_MODULES melvaron.js melvaron.wasm melvaron.worker.js melvaron-single.js
                 melvaron-single.wasm melvaron-search.js melvaron-search.wasm)
add_custom_command(TARGET melvaron POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${SITE}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different
          $<TARGET_FILE_DIR:melvaron>/melvaron.js $<TARGET_FILE_DIR:melvaron>/melvaron.wasm
          $<TARGET_FILE_DIR:melvaron>/melvaron.worker.js
          $<TARGET_FILE_DIR:melvaron-single>/melvaron-single.js
          $<TARGET_FILE_DIR:melvaron-single>/melvaron-single.wasm
          $<TARGET_FILE_DIR:melvaron-search>/melvaron-search.js
          $<TARGET_FILE_DIR:melvaron-search>/melvaron-search.wasm ${SITE}/)
set(SITE_FILES ${SITE_MODULES})
set(SITE_MADE)
foreach(script page.js service-worker-registration.js keys-and-live-region.js search-worker.js
               friend.js)
  add_custom_command(OUTPUT ${SITE}/${script}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${SITE}
                     COMMAND ${CMAKE_COMMAND} -E copy ${WEB}/site/${script} ${SITE}/
                     DEPENDS ${WEB}/site/${script}
                     VERBATIM)
  list(APPEND SITE_MADE ${SITE}/${script})
  list(APPEND SITE_FILES ${script})
endforeach()

# The manifest carries the window's caption and colours (the page too, filled in last with the
# build's hash); the icons are the desktop's. Every template's marks are {{melvaron:NAME}}
# (web/generators/site_template.h).
foreach(page manifest.webmanifest)
  add_custom_command(OUTPUT ${SITE}/${page}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${SITE}
                     COMMAND ${MELVARON_SITE_FILLER} ${WEB}/site/${page} ${SITE}/${page}
                     DEPENDS ${MELVARON_SITE_FILLER} ${WEB}/site/${page}
                     VERBATIM)
  list(APPEND SITE_MADE ${SITE}/${page})
  list(APPEND SITE_FILES ${page})
endforeach()
foreach(icon 192 512 maskable:512)
  string(REPLACE ":" ";" icon ${icon})
  list(GET icon -1 size)
  list(LENGTH icon kinds)
  if(kinds EQUAL 2)
    set(file icon-maskable-${size}.png)
    set(flags --maskable)
  else()
    set(file icon-${size}.png)
    set(flags)
  endif()
  add_custom_command(OUTPUT ${SITE}/${file}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${SITE}
                     COMMAND ${MELVARON_ICON_PAINTER} ${flags} ${size} ${SITE}/${file}
                     DEPENDS ${MELVARON_ICON_PAINTER}
                     VERBATIM)
  list(APPEND SITE_MADE ${SITE}/${file})
  list(APPEND SITE_FILES ${file})
endforeach()

# Last, the build's hash over everything above, and the three files that carry it: the page,
# which names the build in what it loads, the facts the page's scripts read (facts.js) and the
# service worker (sw.js), whose cache is named by it.
add_custom_target(site ALL
  COMMAND ${CMAKE_COMMAND} -DSITE=${SITE} "-DSITE_FILES=${SITE_FILES}"
          -DPAGE=${WEB}/site/index.html -DFACTS=${WEB}/site/facts.js
          -DWORKER=${WEB}/site/service-worker.js -DFILLER=${MELVARON_SITE_FILLER}
          -P ${WEB}/cmake/site.cmake
  DEPENDS ${SITE_MADE} ${WEB}/site/index.html ${WEB}/site/facts.js
          ${WEB}/site/service-worker.js ${WEB}/cmake/site.cmake ${MELVARON_SITE_FILLER}
  VERBATIM)
add_dependencies(site melvaron)

# The search's bench in the browser (web/tools/bench.html), for the figures; not part of the site.
# Its main() runs on a thread of its own, as the page's search does, so the page never waits.
add_executable(melvaron-bench ${WEB}/app/bench_main.cpp)
target_link_libraries(melvaron-bench PRIVATE melvaron_web_engine)
target_link_options(melvaron-bench PRIVATE ${WEB_MEMORY} -sPROXY_TO_PTHREAD
  -sALLOW_BLOCKING_ON_MAIN_THREAD=0 -sPTHREAD_POOL_SIZE=${MELVARON_WEB_THREADS}
  -sENVIRONMENT=web,worker)
# The same without threads: the search of the page's search worker.
add_executable(melvaron-bench-single ${WEB}/app/bench_main.cpp)
target_link_libraries(melvaron-bench-single PRIVATE melvaron_web_engine_single)
target_link_options(melvaron-bench-single PRIVATE ${WEB_MEMORY} -sENVIRONMENT=web)
# Its page reads the threads' bound from the site's facts.
add_dependencies(melvaron-bench melvaron-bench-single site)
set(BENCH_SITE ${CMAKE_BINARY_DIR}/bench)
add_custom_command(TARGET melvaron-bench POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${BENCH_SITE}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${WEB}/tools/bench.html
          ${BENCH_SITE}/index.html
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${SITE}/facts.js ${BENCH_SITE}/
  COMMAND ${CMAKE_COMMAND} -E copy_if_different
          $<TARGET_FILE_DIR:melvaron-bench>/melvaron-bench.js
          $<TARGET_FILE_DIR:melvaron-bench>/melvaron-bench.wasm
          $<TARGET_FILE_DIR:melvaron-bench>/melvaron-bench.worker.js
          $<TARGET_FILE_DIR:melvaron-bench-single>/melvaron-bench-single.js
          $<TARGET_FILE_DIR:melvaron-bench-single>/melvaron-bench-single.wasm ${BENCH_SITE}/)

# The Windows build's libraries and program resources.

# The libraries are static (scripts/build-windows.sh builds them into MELVARON_WINDOWS_PREFIX), so
# each target carries pkg-config's --static flags under the name the other directories link.
# SDL's own entry point is left out: the programs keep their plain main().
set(ENV{PKG_CONFIG_LIBDIR}
    "${MELVARON_WINDOWS_PREFIX}/lib/pkgconfig:/usr/${MINGW_TRIPLE}/lib/pkgconfig")
foreach(pair "FREETYPE;freetype2" "LIBPNG;libpng" "SDL2;sdl2")
  list(GET pair 0 var)
  list(GET pair 1 module)
  pkg_check_modules(${var} REQUIRED ${module})
  set(flags ${${var}_STATIC_LDFLAGS})
  list(REMOVE_ITEM flags -lSDL2main -mwindows)
  set(cflags ${${var}_STATIC_CFLAGS_OTHER})
  list(REMOVE_ITEM cflags -Dmain=SDL_main)
  add_library(PkgConfig::${var} INTERFACE IMPORTED)
  target_include_directories(PkgConfig::${var} INTERFACE ${${var}_STATIC_INCLUDE_DIRS})
  target_compile_options(PkgConfig::${var} INTERFACE ${cflags})
  target_link_libraries(PkgConfig::${var} INTERFACE ${flags})
endforeach()
target_compile_definitions(PkgConfig::SDL2 INTERFACE SDL_MAIN_HANDLED)
# The command-line parser is header-only; its headers are copied into the prefix, away from the
# build machine's own headers.
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 INTERFACE ${MELVARON_WINDOWS_PREFIX}/include/cli11)

# Each program gets a version resource and a manifest (aware of every monitor's DPI, so that
# Windows does not stretch the window blurred, and UTF-8 as the narrow code page) and the icon;
# the game runs without a console.
set(MELVARON_ICO ${CMAKE_BINARY_DIR}/windows/melvaron.ico)
function(melvaron_windows_resources target description)
  set(MELVARON_RC_PROGRAM ${target})
  set(MELVARON_RC_DESCRIPTION "${description}")
  set(MELVARON_RC_ICO ${MELVARON_ICO})
  set(MELVARON_RC_MANIFEST ${CMAKE_SOURCE_DIR}/data/windows/melvaron.manifest)
  set(rc ${CMAKE_BINARY_DIR}/windows/${target}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/data/windows/program.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS
                              "${MELVARON_ICO};${MELVARON_RC_MANIFEST}")
  target_sources(${target} PRIVATE ${rc})
  add_dependencies(${target} melvaron_ico)
endfunction()

# The icon is painted by the icon writer built for Windows, run through the emulator (Wine).
add_custom_command(OUTPUT ${MELVARON_ICO}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/windows
                   COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:melvaron-icon>
                           ${MELVARON_ICO}
                   DEPENDS melvaron-icon
                   COMMENT "Painting the Windows icon")
add_custom_target(melvaron_ico DEPENDS ${MELVARON_ICO})

# Called once the programs exist.
function(melvaron_windows_programs)
  foreach(pair "melvaron;Melvaron (Oskalet) Dunmiro" "melvaron-engine;Melvaron position questions"
               "melvaron-replay;Melvaron scripted sessions")
    list(GET pair 0 program)
    list(GET pair 1 description)
    if(TARGET ${program})
      melvaron_windows_resources(${program} "${description}")
    endif()
  endforeach()
  if(TARGET melvaron)
    set_target_properties(melvaron PROPERTIES WIN32_EXECUTABLE ON)
  endif()
endfunction()

# Beside the programs: the IPAGothic face (found there when the system has no MS Gothic) and the
# licences of the game and of everything the programs and the face contain.
install(FILES /usr/share/fonts/opentype/ipafont-gothic/ipag.ttf DESTINATION fonts)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION licenses RENAME melvaron.txt)
# scripts/build-windows.sh puts these in the prefix beside the libraries.
set(licences SDL2 FreeType libpng zlib mingw-w64 IPAGothic)
list(TRANSFORM licences PREPEND ${MELVARON_WINDOWS_PREFIX}/share/licenses/)
list(TRANSFORM licences APPEND .txt)
install(FILES ${licences} DESTINATION licenses)

# The programs and tests in the build tree find the face beside themselves, as installed.
foreach(dir ui tools tests)
  file(COPY /usr/share/fonts/opentype/ipafont-gothic/ipag.ttf
       DESTINATION ${CMAKE_BINARY_DIR}/${dir}/fonts)
endforeach()

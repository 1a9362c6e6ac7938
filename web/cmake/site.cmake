# The last step of the site: the build's hash, and the two files that carry it.
#   cmake -DSITE=DIR -DSITE_FILES="index.html;..." -DFACTS=web/site/facts.js
#         -DWORKER=web/site/service-worker.js -DFILLER=melvaron-fill-site -P this
# The hash covers every file the site serves: SITE_FILES as they are in SITE, and facts.js and
# sw.js as they are filled in without it (what the hash adds to them is the hash alone). The
# service worker (sw.js) keeps facts.js and SITE_FILES in a cache named by the hash, so that any
# change of the build is a new worker and a new cache; facts.js hands the hash to the page's
# scripts.
foreach(var SITE SITE_FILES FACTS WORKER FILLER)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "site.cmake needs -D${var}=...")
  endif()
endforeach()

set(kept ${SITE_FILES} facts.js)
list(SORT kept)
set(FILES "[\"./\"")
foreach(f IN LISTS kept)
  string(APPEND FILES ", \"${f}\"")
endforeach()
string(APPEND FILES "]")

# fill(TEMPLATE OUT BUILD): OUT is TEMPLATE with the build's marks and the game's own.
function(fill template out build)
  execute_process(COMMAND ${FILLER} ${template} ${out} BUILD=${build} FILES=${FILES}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${template} could not be filled in")
  endif()
endfunction()

set(served ${SITE_FILES})
list(SORT served)
set(digests "")
foreach(f IN LISTS served)
  file(SHA256 ${SITE}/${f} digest)
  string(APPEND digests "${digest} ${f}\n")
endforeach()
set(stamped facts.js sw.js)
set(templates ${FACTS} ${WORKER})
foreach(name template IN ZIP_LISTS stamped templates)
  set(unstamped ${SITE}-${name}.unstamped)
  fill(${template} ${unstamped} "")
  file(SHA256 ${unstamped} digest)
  file(REMOVE ${unstamped})
  string(APPEND digests "${digest} ${name}\n")
endforeach()
string(SHA256 build "${digests}")
string(SUBSTRING ${build} 0 16 build)
fill(${FACTS} ${SITE}/facts.js ${build})
fill(${WORKER} ${SITE}/sw.js ${build})
message(STATUS "The build is ${build}: the service worker keeps it in melvaron-${build}")

# The last step of the site: the build's hash, the three files that carry it, and the service
# worker's list of every file with its SHA-256.
#   cmake -DSITE=DIR -DSITE_FILES="manifest.webmanifest;..." -DPAGE=web/site/index.html
#         -DFACTS=web/site/facts.js -DWORKER=web/site/service-worker.js -DFILLER=melvaron-fill-site
#         -P this
# The hash covers every file the site serves: SITE_FILES as they are in SITE, and index.html,
# facts.js and sw.js as they are filled in without it (what the hash adds to them is the hash
# alone). The page names the build in every file it asks for, facts.js hands the hash to the
# page's scripts, and the service worker (sw.js) keeps the page, facts.js and SITE_FILES in a
# cache named by the hash, each file checked against its SHA-256: any change of the build is a
# new worker and a new cache.
foreach(var SITE SITE_FILES PAGE FACTS WORKER FILLER)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "site.cmake needs -D${var}=...")
  endif()
endforeach()

# fill(TEMPLATE OUT BUILD FILES): OUT is TEMPLATE with the build's marks and the game's own.
function(fill template out build files)
  execute_process(COMMAND ${FILLER} ${template} ${out} BUILD=${build} FILES=${files}
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
set(stamped index.html facts.js sw.js)
set(templates ${PAGE} ${FACTS} ${WORKER})
foreach(name template IN ZIP_LISTS stamped templates)
  set(unstamped ${SITE}-${name}.unstamped)
  fill(${template} ${unstamped} "" "{}")
  file(SHA256 ${unstamped} digest)
  file(REMOVE ${unstamped})
  string(APPEND digests "${digest} ${name}\n")
endforeach()
string(SHA256 build "${digests}")
string(SUBSTRING ${build} 0 16 build)
fill(${PAGE} ${SITE}/index.html ${build} "{}")
fill(${FACTS} ${SITE}/facts.js ${build} "{}")

# What the service worker keeps: the page (as "./") and every other file but itself.
set(kept ${SITE_FILES} facts.js)
list(SORT kept)
file(SHA256 ${SITE}/index.html digest)
set(FILES "{\"./\": \"${digest}\"")
foreach(f IN LISTS kept)
  file(SHA256 ${SITE}/${f} digest)
  string(APPEND FILES ", \"${f}\": \"${digest}\"")
endforeach()
string(APPEND FILES "}")
fill(${WORKER} ${SITE}/sw.js ${build} ${FILES})
message(STATUS "The build is ${build}: the service worker keeps it in melvaron-${build}")

# Writes the site's service worker:
#   cmake -DSITE=DIR -DSITE_FILES="index.html;..." -DTEMPLATE=web/service-worker.js -P this
# It keeps SITE_FILES, every other file of the site, in a cache named by a hash of their names
# and contents, so that any change of the build is a new worker and a new cache.
foreach(var SITE SITE_FILES TEMPLATE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "service_worker.cmake needs -D${var}=...")
  endif()
endforeach()
set(files ${SITE_FILES})
list(SORT files)
set(digests "")
set(FILES "[\"./\"")
foreach(f IN LISTS files)
  file(SHA256 ${SITE}/${f} digest)
  string(APPEND digests "${digest} ${f}\n")
  string(APPEND FILES ", \"${f}\"")
endforeach()
string(APPEND FILES "]")
string(SHA256 build "${digests}")
string(SUBSTRING ${build} 0 16 build)
set(CACHE_NAME melvaron-${build})
configure_file(${TEMPLATE} ${SITE}/sw.js @ONLY)
message(STATUS "The service worker keeps ${CACHE_NAME}")

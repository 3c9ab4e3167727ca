# The forum block's pictures: where they are served from, and their paths, read from
# art/pictures.txt. Sets ULVENA_BLOCK_PICTURES, the compile definitions that give them to the
# program's block writer.

# A community that serves site/ elsewhere builds a program that points there. The block's
# pictures are their paths under this address.
set(ULVENA_PICTURE_HOST "http://images.ulvena.net" CACHE STRING
  "Address of the host serving site/, without a trailing slash")
if(NOT ULVENA_PICTURE_HOST MATCHES "^https?://[A-Za-z0-9.-]+(:[0-9]+)?(/[A-Za-z0-9._~-]+)*$")
  message(FATAL_ERROR "ULVENA_PICTURE_HOST must be an http or https address without a trailing "
    "slash, such as https://images.example.org; it is \"${ULVENA_PICTURE_HOST}\"")
endif()

set(pictures_file "${PROJECT_SOURCE_DIR}/art/pictures.txt")
set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  "${pictures_file}")
file(STRINGS "${pictures_file}" picture_lines REGEX "^[^#]")
set(ULVENA_BLOCK_PICTURES "ULVENA_PICTURE_HOST=\"${ULVENA_PICTURE_HOST}\"")
foreach(name IN ITEMS HEADING_PICTURE METAL_ICON CRYSTAL_ICON DEUTERIUM_ICON)
  list(POP_FRONT picture_lines line)
  if(NOT line MATCHES "^[^ ]+ (/[A-Za-z0-9/._-]+)$")
    message(FATAL_ERROR "${pictures_file}: four lines \"drawing.svg /path.png\" are expected")
  endif()
  list(APPEND ULVENA_BLOCK_PICTURES "ULVENA_${name}=\"${CMAKE_MATCH_1}\"")
endforeach()

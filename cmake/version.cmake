# The product version lives in the file VERSION at the top of the tree, as users
# see it ("1.2a"). Windows wants four numbers, so a trailing letter becomes the
# third one (a = 1, b = 2, ...; none = 0): 1.2a is 1.2.1.0.
file(STRINGS ${CMAKE_SOURCE_DIR}/VERSION PYRO_VERSION_TEXT LIMIT_COUNT 1)
string(STRIP "${PYRO_VERSION_TEXT}" PYRO_VERSION_TEXT)
if(NOT PYRO_VERSION_TEXT MATCHES "^([0-9]+)\\.([0-9]+)([a-z]?)$")
  message(FATAL_ERROR "VERSION must read like 1.2 or 1.2a, not '${PYRO_VERSION_TEXT}'")
endif()
set(PYRO_VERSION_MAJOR ${CMAKE_MATCH_1})
set(PYRO_VERSION_MINOR ${CMAKE_MATCH_2})
set(PYRO_VERSION_PATCH 0)
if(CMAKE_MATCH_3)
  string(FIND "abcdefghijklmnopqrstuvwxyz" "${CMAKE_MATCH_3}" letter)
  math(EXPR PYRO_VERSION_PATCH "${letter} + 1")
endif()
set(PYRO_VERSION_NUMERIC "${PYRO_VERSION_MAJOR}.${PYRO_VERSION_MINOR}.${PYRO_VERSION_PATCH}")
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_SOURCE_DIR}/VERSION)

set(PYRO_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/cmake/pyro_version.h.in ${PYRO_GENERATED_DIR}/pyro_version.h @ONLY)
include_directories(${PYRO_GENERATED_DIR})

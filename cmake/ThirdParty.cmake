# Dependencies from Debian's packages. /usr/include itself never goes on the cross
# include path (its glibc headers would shadow mingw's): only the two header-only
# libraries are exposed, through links in a generated folder.
set(VANTELO_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third_party/include)
file(MAKE_DIRECTORY ${VANTELO_THIRD_PARTY_INCLUDE})
foreach(pair "rapidjson=/usr/include/rapidjson" "stb=/usr/include/stb")
  string(REPLACE "=" ";" parts ${pair})
  list(GET parts 0 name)
  list(GET parts 1 target)
  if(NOT EXISTS ${target})
    message(FATAL_ERROR "${target} is missing: run tools/setup")
  endif()
  if(NOT EXISTS ${VANTELO_THIRD_PARTY_INCLUDE}/${name})
    file(CREATE_LINK ${target} ${VANTELO_THIRD_PARTY_INCLUDE}/${name} SYMBOLIC)
  endif()
endforeach()

add_library(third_party_headers INTERFACE)
target_include_directories(third_party_headers SYSTEM INTERFACE ${VANTELO_THIRD_PARTY_INCLUDE})

# The static library: the exe must not need zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

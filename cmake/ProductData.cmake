# Product data packed into the programs' resources.
#
# vantelo_pack_zip(<target> OUTPUT <zip> ROOT <folder> [ENTRIES <relative path>...] [URL_HOSTS <map>]
#                  [PRODUCT_VALUES <file>])
#   A custom target that zips ENTRIES (files or folders below ROOT; default: all of
#   ROOT) into OUTPUT, folder entries before their files. URL_HOSTS rewrites the
#   addresses of every UrlInfo.ini, PRODUCT_VALUES sets keys of productInfo.ini
#   (see tools/pack-zip.py).
#
# vantelo_add_resources(<target> NAME <name> RESOURCES <id> <type> <file> [<id> <type> <file>...]
#                       [DEPENDS <custom target>...])
#   Links the files into <target> as Windows resources through a generated .rc.
#
# vantelo_add_product_resources(<target> [TEST_DATA])
#   The language archive (RT_RCDATA 105) and the domain text (RT_RCDATA 106) of
#   VANTELO_PRODUCT_DIR, and its analytics collection address; TEST_DATA takes the
#   archive and the collection address of the project's own test servers on this
#   machine (tests/data/product-test).
#
# vantelo_add_collect_url(<target> <analytics.ini>)
#   CGA::ConfiguredCollectUrl for <target>: the file's CollectUrl compiled in.
#
# vantelo_add_skin_resource(<target>)
#   The window skin packed from VANTELO_PRODUCT_DIR/skin, as resource ZIPRES 104.

find_program(VANTELO_PYTHON python3 REQUIRED)
set(VANTELO_PACK_ZIP ${CMAKE_SOURCE_DIR}/tools/pack-zip.py)

function(vantelo_pack_zip target)
  cmake_parse_arguments(Z "" "OUTPUT;ROOT;URL_HOSTS;PRODUCT_VALUES" "ENTRIES" ${ARGN})
  set(inputs)
  set(entries ${Z_ENTRIES})
  if(NOT entries)
    file(GLOB entries RELATIVE ${Z_ROOT} CONFIGURE_DEPENDS ${Z_ROOT}/*)
  endif()
  foreach(entry ${entries})
    if(IS_DIRECTORY ${Z_ROOT}/${entry})
      file(GLOB_RECURSE files CONFIGURE_DEPENDS ${Z_ROOT}/${entry}/*)
      list(APPEND inputs ${files})
    else()
      list(APPEND inputs ${Z_ROOT}/${entry})
    endif()
  endforeach()
  set(options)
  if(Z_URL_HOSTS)
    set(options --url-hosts ${Z_URL_HOSTS})
    list(APPEND inputs ${Z_URL_HOSTS})
  endif()
  if(Z_PRODUCT_VALUES)
    list(APPEND options --product-values ${Z_PRODUCT_VALUES})
    list(APPEND inputs ${Z_PRODUCT_VALUES})
  endif()
  get_filename_component(folder ${Z_OUTPUT} DIRECTORY)
  add_custom_command(OUTPUT ${Z_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${VANTELO_PYTHON} ${VANTELO_PACK_ZIP} --output ${Z_OUTPUT} --root ${Z_ROOT} ${options} ${entries}
    DEPENDS ${VANTELO_PACK_ZIP} ${inputs}
    COMMENT "Packing ${Z_OUTPUT}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${Z_OUTPUT})
endfunction()

function(vantelo_add_resources target)
  cmake_parse_arguments(R "" "NAME" "RESOURCES;DEPENDS" ${ARGN})
  set(rc ${CMAKE_BINARY_DIR}/resources/${R_NAME}.rc)
  set(content "")
  set(files)
  list(LENGTH R_RESOURCES count)
  math(EXPR last "${count} - 1")
  foreach(i RANGE 0 ${last} 3)
    math(EXPR j "${i} + 1")
    math(EXPR k "${i} + 2")
    list(GET R_RESOURCES ${i} id)
    list(GET R_RESOURCES ${j} type)
    list(GET R_RESOURCES ${k} file)
    string(APPEND content "${id} ${type} \"${file}\"\n")
    list(APPEND files ${file})
  endforeach()
  file(CONFIGURE OUTPUT ${rc} CONTENT "${content}")
  target_sources(${target} PRIVATE ${rc})
  # windres reads the files: a changed archive must relink the program.
  set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS "${files}")
  if(R_DEPENDS)
    add_dependencies(${target} ${R_DEPENDS})
  endif()
endfunction()

# The language archive holds the top-level INI files and the folders that
# language.ini names; everything else in the product folder (artwork sources, the
# skin, the domain text) stays out.
function(vantelo_language_entries result)
  set(ini ${VANTELO_PRODUCT_DIR}/language.ini)
  if(NOT EXISTS ${ini})
    message(FATAL_ERROR "${ini} is missing: VANTELO_PRODUCT_DIR must hold the product data")
  endif()
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ini})
  file(STRINGS ${ini} lines REGEX "^[0-9]+=")
  set(entries)
  foreach(line ${lines})
    string(REGEX REPLACE "^[0-9]+=([^\r]*)\r?$" "\\1" language "${line}")
    list(APPEND entries ${language})
  endforeach()
  list(REMOVE_DUPLICATES entries)
  file(GLOB inis RELATIVE ${VANTELO_PRODUCT_DIR} CONFIGURE_DEPENDS ${VANTELO_PRODUCT_DIR}/*.ini)
  list(APPEND entries ${inis})
  set(${result} ${entries} PARENT_SCOPE)
endfunction()

vantelo_language_entries(VANTELO_LANGUAGE_ENTRIES)
set(VANTELO_LANGUAGE_ARCHIVE ${CMAKE_BINARY_DIR}/product/language.zip)
set(VANTELO_LANGUAGE_ARCHIVE_TEST ${CMAKE_BINARY_DIR}/product-test/language.zip)
set(VANTELO_DOMAIN_FILE ${VANTELO_PRODUCT_DIR}/domain.txt)
vantelo_pack_zip(vantelo_language_archive OUTPUT ${VANTELO_LANGUAGE_ARCHIVE}
  ROOT ${VANTELO_PRODUCT_DIR} ENTRIES ${VANTELO_LANGUAGE_ENTRIES})
# The test data set pins the throwaway publisher key that signs the sample installer
# (tools/setup makes it) in place of the product's own.
set(VANTELO_SIGNER_PIN_FILE ${VANTELO_CODESIGN_DIR}/signer.pin)
if(NOT EXISTS ${VANTELO_SIGNER_PIN_FILE})
  message(FATAL_ERROR "${VANTELO_SIGNER_PIN_FILE} is missing: run tools/setup")
endif()
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${VANTELO_SIGNER_PIN_FILE} ${CMAKE_SOURCE_DIR}/tests/data/product-test/productInfo-values.txt)
file(STRINGS ${VANTELO_SIGNER_PIN_FILE} VANTELO_SIGNER_PIN LIMIT_COUNT 1)
file(READ ${CMAKE_SOURCE_DIR}/tests/data/product-test/productInfo-values.txt VANTELO_TEST_PRODUCT_VALUES)
set(VANTELO_TEST_PRODUCT_VALUES_FILE ${CMAKE_BINARY_DIR}/product-test/productInfo-values.txt)
file(CONFIGURE OUTPUT ${VANTELO_TEST_PRODUCT_VALUES_FILE}
  CONTENT "${VANTELO_TEST_PRODUCT_VALUES}STR_SIGNER_KEY_SHA256=${VANTELO_SIGNER_PIN}\n")
vantelo_pack_zip(vantelo_language_archive_test OUTPUT ${VANTELO_LANGUAGE_ARCHIVE_TEST}
  ROOT ${VANTELO_PRODUCT_DIR} ENTRIES ${VANTELO_LANGUAGE_ENTRIES}
  URL_HOSTS ${CMAKE_SOURCE_DIR}/tests/data/product-test/hosts.txt
  PRODUCT_VALUES ${VANTELO_TEST_PRODUCT_VALUES_FILE})

function(vantelo_add_product_resources target)
  cmake_parse_arguments(P "TEST_DATA" "" "" ${ARGN})
  if(P_TEST_DATA)
    set(archive ${VANTELO_LANGUAGE_ARCHIVE_TEST})
    set(packer vantelo_language_archive_test)
    set(name product-test)
    set(analytics ${CMAKE_SOURCE_DIR}/tests/data/product-test/analytics.ini)
  else()
    set(archive ${VANTELO_LANGUAGE_ARCHIVE})
    set(packer vantelo_language_archive)
    set(name product)
    set(analytics ${VANTELO_PRODUCT_DIR}/analytics.ini)
  endif()
  vantelo_add_resources(${target} NAME ${name}
    RESOURCES 105 RCDATA ${archive} 106 RCDATA ${VANTELO_DOMAIN_FILE}
    DEPENDS ${packer})
  vantelo_add_collect_url(${target} ${analytics})
endfunction()

function(vantelo_add_collect_url target ini)
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ini})
  file(STRINGS ${ini} collect_line REGEX "^CollectUrl=")
  string(REGEX REPLACE "^CollectUrl=" "" url "${collect_line}")
  if(NOT url MATCHES "^https?://[^\"\\\\]+$")
    message(FATAL_ERROR "${ini}: CollectUrl must hold one http(s) address")
  endif()
  string(MD5 key ${ini})
  set(source ${CMAKE_BINARY_DIR}/generated/collect-url/${key}.cpp)
  configure_file(${CMAKE_SOURCE_DIR}/src/common/GACollectUrl.cpp.in ${source} @ONLY)
  target_sources(${target} PRIVATE ${source})
endfunction()

# The window skin (product/skin) as resource ZIPRES 104.
set(VANTELO_SKIN_ARCHIVE ${CMAKE_BINARY_DIR}/product/skin.zip)
vantelo_pack_zip(vantelo_skin_archive OUTPUT ${VANTELO_SKIN_ARCHIVE} ROOT ${VANTELO_PRODUCT_DIR}/skin)

function(vantelo_add_skin_resource target)
  vantelo_add_resources(${target} NAME skin RESOURCES 104 ZIPRES ${VANTELO_SKIN_ARCHIVE}
    DEPENDS vantelo_skin_archive)
endfunction()

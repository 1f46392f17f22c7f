# Embedding files into C++ sources at build time. Both functions run the one
# script embed_script.cmake (cmake -P) beside this file.
#
# korvane_embed_resources(RES_DIR OUT_FILE)
#   The library's resources: RES_DIR/strings.txt, the string table (one
#   "id<TAB>text" record per line), and RES_DIR/raw/<NAME>.*, raw-data
#   resources named by the file's stem (upper-cased), as the tables of
#   platform/resources_posix.cpp.
#
# korvane_embed_files(OUT_FILE NAMESPACE NAME=PATH ...)
#   For every NAME=PATH, a std::string_view NAMESPACE::NAME holding the bytes
#   of the file.
set(KORVANE_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/embed_script.cmake)

function(korvane_embed_resources RES_DIR OUT_FILE)
  file(GLOB RAW_FILES CONFIGURE_DEPENDS ${RES_DIR}/raw/*)
  list(FILTER RAW_FILES EXCLUDE REGEX "/\\.[^/]*$")
  add_custom_command(
    OUTPUT ${OUT_FILE}
    COMMAND ${CMAKE_COMMAND} -DMODE=resources -DRES_DIR=${RES_DIR} -DOUT_FILE=${OUT_FILE}
            -P ${KORVANE_EMBED_SCRIPT}
    DEPENDS ${RES_DIR}/strings.txt ${RAW_FILES} ${KORVANE_EMBED_SCRIPT}
    COMMENT "Embedding the library's resources"
    VERBATIM)
endfunction()

function(korvane_embed_files OUT_FILE NAMESPACE)
  set(entries "")
  set(paths "")
  foreach(ENTRY IN LISTS ARGN)
    string(FIND "${ENTRY}" "=" EQ)
    math(EXPR START "${EQ} + 1")
    string(SUBSTRING "${ENTRY}" ${START} -1 PATH)
    list(APPEND paths ${PATH})
    list(APPEND entries ${ENTRY})
  endforeach()
  string(REPLACE ";" "|" arg "${entries}")
  add_custom_command(
    OUTPUT ${OUT_FILE}
    COMMAND ${CMAKE_COMMAND} -DMODE=files -DOUT_FILE=${OUT_FILE} -DNAMESPACE=${NAMESPACE} "-DFILES=${arg}"
            -P ${KORVANE_EMBED_SCRIPT}
    DEPENDS ${paths} ${KORVANE_EMBED_SCRIPT}
    COMMENT "Embedding files into ${NAMESPACE}"
    VERBATIM)
endfunction()

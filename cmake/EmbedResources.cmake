# Embeds the library's resources into one generated C++ file:
#   resources/strings.txt  - the string table, one "id<TAB>text" record per line
#   resources/raw/<NAME>.*  - raw-data resources, named by the file's stem (upper-cased)
function(korvane_embed_resources RES_DIR OUT_FILE)
  file(GLOB RAW_FILES CONFIGURE_DEPENDS ${RES_DIR}/raw/*)
  list(FILTER RAW_FILES EXCLUDE REGEX "/\\.[^/]*$")
  set(STRINGS_FILE ${RES_DIR}/strings.txt)
  add_custom_command(
    OUTPUT ${OUT_FILE}
    COMMAND ${CMAKE_COMMAND} -DRES_DIR=${RES_DIR} -DOUT_FILE=${OUT_FILE}
            -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/EmbedResourcesScript.cmake
    DEPENDS ${STRINGS_FILE} ${RAW_FILES} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/EmbedResourcesScript.cmake
    COMMENT "Embedding resources")
endfunction()

# Run by CPack once the files of the Windows package are in its staging
# folder and before they are zipped: SHA256SUMS beside README.txt, one line
# per file as sha256sum writes it ("HASH *path", binary mode), sorted.
file(GLOB_RECURSE _files RELATIVE "${CPACK_TEMPORARY_INSTALL_DIRECTORY}" "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
list(REMOVE_ITEM _files SHA256SUMS)
list(SORT _files)
set(_sums "")
foreach(_file IN LISTS _files)
  file(SHA256 "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/${_file}" _hash)
  string(APPEND _sums "${_hash} *${_file}\n")
endforeach()
file(WRITE "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/SHA256SUMS" "${_sums}")

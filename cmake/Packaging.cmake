# What an integrator downloads, made by CPack (scripts/package.sh runs it):
#   Linux build:        a .deb (CPack DEB) and a .tar.gz of the same files:
#                       the library, the header, the pkg-config file, the
#                       two tools, the copyright file
#   Windows x86_64 build: a ZIP with both DLLs (bin/x86 from the i686 build
#                       folder named by KORVANE_PACKAGE_I686_BUILD_DIR,
#                       bin/x64 from this one), the tools as Windows
#                       programs, the header, the examples, README.txt, the
#                       licences of what is linked in statically, SHA256SUMS
# Both: `cmake --build DIR --target package`, into DIR/packages (on Windows
# once the DLLs and the tools are built: scripts/package.sh).
set(CPACK_PACKAGE_NAME "korvane-display")
set(CPACK_PACKAGE_VENDOR "Korvane Display Driver Project")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "Korvane Display Driver Project <korvane@example.org>")
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/packages")
set(CPACK_OUTPUT_CONFIG_FILE "${PROJECT_BINARY_DIR}/CPackConfig.cmake")
set(CPACK_SOURCE_OUTPUT_CONFIG_FILE "${PROJECT_BINARY_DIR}/CPackSourceConfig.cmake")

if(WIN32)
  # Packing builds nothing: a Windows build folder's "all" holds every test
  # program, and the i686 one is packed from outside. scripts/package.sh
  # builds the DLLs and the tools first.
  set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
  set(CMAKE_SKIP_PACKAGE_ALL_DEPENDENCY ON)
  # The DLLs keep their symbol table: the export check reads the 32-bit
  # calls' __stdcall symbols (OPEN@12) from it.
  set(CPACK_STRIP_FILES OFF)
  # The folder of the DLL and (in the x86_64 build) the tools in the ZIP.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_arch_dir x64)
  else()
    set(_arch_dir x86)
  endif()
  set(KORVANE_PACKAGE_BIN_DIR "bin/${_arch_dir}" CACHE STRING "Folder of this build's DLL and tools in the Windows package")
  install(TARGETS korvane RUNTIME DESTINATION ${KORVANE_PACKAGE_BIN_DIR} COMPONENT windows_package EXCLUDE_FROM_ALL)
  if(KORVANE_BUILD_TOOLS)
    install(TARGETS korvane-simulator korvane-host RUNTIME DESTINATION ${KORVANE_PACKAGE_BIN_DIR}
            COMPONENT windows_package EXCLUDE_FROM_ALL)
  endif()
  # What both DLLs share: the header, the examples, the integrator's README
  # and the licences of the parts linked in statically.
  install(FILES include/korvane_display.h DESTINATION include COMPONENT windows_common EXCLUDE_FROM_ALL)
  file(GLOB _examples ${PROJECT_SOURCE_DIR}/examples/*.xml)
  install(FILES ${_examples} DESTINATION examples COMPONENT windows_common EXCLUDE_FROM_ALL)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/README.txt.in ${PROJECT_BINARY_DIR}/package/README.txt
                 @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/package/README.txt DESTINATION . COMPONENT windows_common EXCLUDE_FROM_ALL)
  file(GLOB _httplib_licence "${KORVANE_WINDOWS_DEPS_DIR}/src/cpp-httplib-*/LICENSE")
  file(GLOB _pugixml_licence "${KORVANE_WINDOWS_DEPS_DIR}/src/pugixml-*/LICENSE.md")
  set(_licences
    "pugixml.txt=${_pugixml_licence}"
    "cpp-httplib.txt=${_httplib_licence}"
    "asio.txt=/usr/share/doc/libasio-dev/copyright"
    "nlohmann-json.txt=/usr/share/doc/nlohmann-json3-dev/copyright"
    "mingw-w64-runtime.txt=/usr/share/doc/mingw-w64-x86-64-dev/copyright"
    "gcc-runtime-libraries.txt=/usr/share/doc/gcc-mingw-w64-base/copyright")
  foreach(_entry IN LISTS _licences)
    string(REPLACE "=" ";" _entry "${_entry}")
    list(GET _entry 0 _name)
    list(GET _entry 1 _file)
    if(NOT EXISTS "${_file}")
      message(FATAL_ERROR "the licence ${_name} is not at '${_file}'")
    endif()
    install(FILES ${_file} DESTINATION licenses RENAME ${_name} COMPONENT windows_common EXCLUDE_FROM_ALL)
  endforeach()

  if(KORVANE_BUILD_TOOLS)  # the build that makes the ZIP
    set(KORVANE_PACKAGE_I686_BUILD_DIR "${PROJECT_SOURCE_DIR}/build-win-i686" CACHE PATH
        "The i686 build folder whose DLL goes into the Windows package")
    set(CPACK_GENERATOR ZIP)
    set(CPACK_SYSTEM_NAME windows)
    set(CPACK_INSTALL_CMAKE_PROJECTS
      "${KORVANE_PACKAGE_I686_BUILD_DIR};${PROJECT_NAME};windows_package;/"
      "${PROJECT_BINARY_DIR};${PROJECT_NAME};windows_package;/"
      "${PROJECT_BINARY_DIR};${PROJECT_NAME};windows_common;/")
    # SHA256SUMS of every file, written into the package before it is zipped.
    set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/windows/write_sha256sums.cmake)
    include(CPack)
  endif()
else()
  # The copyright file and the changelog (gzip -9n, as Debian's tools
  # compress it) where every Debian package has them.
  set(_changelog_gz ${PROJECT_BINARY_DIR}/package/changelog.gz)
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
  execute_process(COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/debian/changelog OUTPUT_FILE ${_changelog_gz}
                  RESULT_VARIABLE _status)
  if(NOT _status EQUAL 0)
    message(FATAL_ERROR "gzip of packaging/debian/changelog failed: ${_status}")
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${_changelog_gz}
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_PACKAGE_NAME})
  set(CPACK_STRIP_FILES ON)
  set(CPACK_GENERATOR "DEB;TGZ")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The library lies in the linker's folder: the ldconfig trigger (besides
  # the ldconfig call CPack writes into postinst and postrm).
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/triggers)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # (the summary line is CPACK_PACKAGE_DESCRIPTION_SUMMARY)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"The customer-display driver QORD_KORVANE_10.so, which a point-of-sale host
loads at run time and calls through eight exported functions, with its
header and pkg-config file; korvane-simulator, the display application for
developing a host without the hardware; korvane-host, which drives the
library by hand and runs a demo sale.")
  include(CPack)
endif()

# What `cmake --install` puts where, and the packages `cpack` makes: on
# Linux a Debian package with everything; on Windows a .zip holding one
# folder with the two programs, the README, the LICENSE and the manual pages
# as plain text (nobody there has man).
include(CMakePackageConfigHelpers)

if(WIN32)
  set(VORKAST_BINDIR .)
  set(VORKAST_DOCDIR .)
else()
  set(VORKAST_BINDIR ${CMAKE_INSTALL_BINDIR})
  set(VORKAST_DOCDIR ${CMAKE_INSTALL_DOCDIR})
endif()
install(TARGETS vorkast d88disk RUNTIME DESTINATION ${VORKAST_BINDIR} COMPONENT programs)
install(FILES README.md LICENSE DESTINATION ${VORKAST_DOCDIR} COMPONENT programs)
install(FILES man/vorkast.1 man/d88disk.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT manuals)
if(WIN32)
  find_program(VORKAST_GROFF groff REQUIRED)
  set(manual_texts)
  foreach(page vorkast d88disk)
    set(text ${PROJECT_BINARY_DIR}/${page}.txt)
    add_custom_command(OUTPUT ${text}
      COMMAND sh -c "'${VORKAST_GROFF}' -man -Tutf8 -P-cbu '${PROJECT_SOURCE_DIR}/man/${page}.1' > '${text}'"
      DEPENDS ${PROJECT_SOURCE_DIR}/man/${page}.1 VERBATIM)
    list(APPEND manual_texts ${text})
  endforeach()
  add_custom_target(manual_texts ALL DEPENDS ${manual_texts})
  install(FILES ${manual_texts} DESTINATION ${VORKAST_DOCDIR} COMPONENT programs)
endif()
install(FILES man/d88.3 DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT manuals)

# The library for other programs: CMake package d88 (target d88::d88) and
# pkg-config module d88, both relocatable.
install(TARGETS d88 EXPORT d88Targets COMPONENT library
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES d88/d88.h ${PROJECT_BINARY_DIR}/include/d88/d88_version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/d88 COMPONENT library)
set(D88_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/d88)
install(EXPORT d88Targets NAMESPACE d88:: DESTINATION ${D88_CMAKE_DIR} COMPONENT library)
configure_package_config_file(cmake/d88Config.cmake.in ${PROJECT_BINARY_DIR}/d88Config.cmake
  INSTALL_DESTINATION ${D88_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/d88ConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/d88Config.cmake ${PROJECT_BINARY_DIR}/d88ConfigVersion.cmake
  DESTINATION ${D88_CMAKE_DIR} COMPONENT library)
file(RELATIVE_PATH D88_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
configure_file(cmake/d88.pc.in ${PROJECT_BINARY_DIR}/d88.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/d88.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT library)

set(CPACK_PACKAGE_NAME vorkast)
set(CPACK_PACKAGE_VENDOR "vorkast developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "complete D88 game disk images; the d88 disk image library")
set(CPACK_PACKAGE_CONTACT "vorkast developers <vorkast@localhost>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME vorkast-${PROJECT_VERSION}-win64)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL programs)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)  # vorkast-VERSION-win64/
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEB_COMPONENT_INSTALL OFF)
endif()
include(CPack)

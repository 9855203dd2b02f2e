# What `cmake --install` puts in place: the shared library (with its SONAME
# links), the header, the command-line tool and its manual page, a pkg-config
# file, a CMake package that gives the imported target kdx2xml::kdx2xml, and
# the licence.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KDX2XML_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kdx2xml)

target_include_directories(kdx2xml INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS kdx2xml EXPORT kdx2xmlTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS kdx2xml_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/kdx2xml/kdx2xml.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kdx2xml)
install(FILES ${PROJECT_SOURCE_DIR}/docs/kdx2xml.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(WIN32)
  # At the top of each build's folder in the zip.
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
else()
  # share/doc/kdx2xml/copyright, where a Debian package keeps its licence.
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE _kdx_license)
  file(WRITE ${PROJECT_BINARY_DIR}/copyright
       "kdx2xml ${KDX2XML_PACKAGE_VERSION}\n${KDX2XML_COPYRIGHT}\nLicense: MIT\n\n${_kdx_license}")
  install(FILES ${PROJECT_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# CMake package: find_package(kdx2xml 1.0) accepts any 1.x.
install(EXPORT kdx2xmlTargets NAMESPACE kdx2xml:: DESTINATION ${KDX2XML_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kdx2xmlConfigVersion.cmake
  VERSION ${KDX2XML_PACKAGE_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/kdx2xmlConfig.cmake
  ${PROJECT_BINARY_DIR}/kdx2xmlConfigVersion.cmake DESTINATION ${KDX2XML_CMAKE_DIR})

# pkg-config: the prefix is found from the .pc file's own place, so the
# installed tree (or the package's) may be moved as a whole.
set(KDX2XML_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${KDX2XML_PC_DIR}")
  set(KDX2XML_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH _kdx_pc_up /kdx/${KDX2XML_PC_DIR} /kdx)
  string(REGEX REPLACE "/$" "" _kdx_pc_up "${_kdx_pc_up}")
  set(KDX2XML_PC_PREFIX "\${pcfiledir}/${_kdx_pc_up}")
endif()
foreach(_kdx_dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${_kdx_dir}}")
    set(KDX2XML_PC_${_kdx_dir} "${CMAKE_INSTALL_${_kdx_dir}}")
  else()
    set(KDX2XML_PC_${_kdx_dir} "\${prefix}/${CMAKE_INSTALL_${_kdx_dir}}")
  endif()
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/kdx2xml.pc.in ${PROJECT_BINARY_DIR}/kdx2xml.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kdx2xml.pc DESTINATION ${KDX2XML_PC_DIR})

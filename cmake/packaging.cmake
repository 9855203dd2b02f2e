# Packages made by cpack from the install rules: a Debian package on Linux, a
# zip on Windows.
#
# The Windows zip holds both DLLs when the 64-bit build is told where the
# 32-bit build is: each build installs into its own folder, x64/ and x86/
# (bin: the DLL and the tool, lib: the import library, include: the header).
#
#   cmake -B build-win64 ... -DKDX2XML_PACKAGE_X86_BUILD=$PWD/build-win32
#   cd build-win64 && cpack
set(CPACK_PACKAGE_NAME kdx2xml)
set(CPACK_PACKAGE_VENDOR kdx2xml)
set(CPACK_PACKAGE_CONTACT "kdx2xml developers <kdx2xml@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Converts KDX cost-estimating documents (estimates, price lists, ...) into XML")
set(CPACK_PACKAGE_VERSION ${KDX2XML_PACKAGE_VERSION})
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(KDX2XML_PACKAGE_X86_BUILD "" CACHE PATH
      "Build directory of the 32-bit DLL to put beside this build's in the zip")
  if(KDX2XML_PACKAGE_X86_BUILD)
    set(CPACK_INSTALL_CMAKE_PROJECTS
        "${PROJECT_BINARY_DIR};kdx2xml;ALL;/x64"
        "${KDX2XML_PACKAGE_X86_BUILD};kdx2xml;ALL;/x86")
    set(CPACK_PACKAGE_FILE_NAME kdx2xml-${CPACK_PACKAGE_VERSION}-windows)
  endif()
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # A shlibs file and the ldconfig trigger, so that the SONAME is registered.
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
endif()
include(CPack)

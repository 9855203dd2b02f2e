# find_package(kdx2xml) gives the imported target kdx2xml::kdx2xml: the shared
# library with its include directory (#include <kdx2xml/kdx2xml.h>).
include("${CMAKE_CURRENT_LIST_DIR}/kdx2xmlTargets.cmake")

# `make deb`: a Debian package of both programs, built with CPack from what
# `cmake --install` puts in place.
set(TAVREL_MAINTAINER "Tavrel developers <maintainers@tavrel.org>" CACHE STRING
    "Maintainer named in the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrel)
set(CPACK_PACKAGE_VENDOR "Tavrel developers")
set(CPACK_PACKAGE_CONTACT ${TAVREL_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "texture viewer and converter for game data files")
# Lines of the extended description are kept below 80 characters by hand.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Tavrel shows the texture images inside game data files: model files (.nif)"
  "with raw RGB or RGBA texture blocks, compressed bitmaps (.bmz), PNG and BMP"
  "files. It saves the shown image as BMP, PNG or Targa, replaces textures of"
  "model files in place after offering a backup copy, and prints."
  ""
  "The command-line tool tavrel-cli lists, extracts and converts the same"
  "images in batch.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TAVREL_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)

# The copyright file and changelog that every Debian package carries.
set(CPACK_TAVREL_DEBIAN_DIR ${CMAKE_SOURCE_DIR}/res/debian)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebianDocs.cmake)

include(CPack)

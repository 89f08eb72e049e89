# Run by CPack once the files are staged: adds the copyright file and the
# compressed changelog that every Debian package carries and only the package needs.
set(doc ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/share/doc/tavrel)
file(MAKE_DIRECTORY ${doc})
file(COPY_FILE ${CPACK_TAVREL_DEBIAN_DIR}/copyright ${doc}/copyright)
execute_process(COMMAND gzip -9nc ${CPACK_TAVREL_DEBIAN_DIR}/changelog
                OUTPUT_FILE ${doc}/changelog.gz
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip could not compress the changelog")
endif()

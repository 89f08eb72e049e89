# What `cmake --install` puts in place: both programs with their manual pages and
# the bash completion of tavrel-cli; for the window program also its desktop
# entry, MIME types, icons at every size there is and its AppStream data.
include(GNUInstallDirs)
find_program(TAVREL_GZIP gzip REQUIRED)

set(TAVREL_RES_DIR ${CMAKE_SOURCE_DIR}/res)

# Manual pages go in compressed, without a time stamp, as Debian wants them.
function(tavrel_install_man_page name)
  set(source ${TAVREL_RES_DIR}/man/${name}.1)
  set(packed ${CMAKE_BINARY_DIR}/man/${name}.1.gz)
  add_custom_command(OUTPUT ${packed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${TAVREL_GZIP} -9nc ${source} > ${packed}
    DEPENDS ${source}
    VERBATIM)
  add_custom_target(man-${name} ALL DEPENDS ${packed})
  install(FILES ${packed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

# The completion folder of bash-completion, taken below our own prefix so that
# DESTDIR, /usr/local and the package all work; bash-completion also looks there.
set(TAVREL_BASH_COMPLETION_DIR "" CACHE STRING
    "Folder for the bash completion of tavrel-cli (default: bash-completion's own, below the prefix)")
if(TAVREL_BASH_COMPLETION_DIR)
  set(bash_completion_dir ${TAVREL_BASH_COMPLETION_DIR})
else()
  set(bash_completion_dir ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND)
    pkg_get_variable(bc_prefix bash-completion prefix)
    pkg_get_variable(bc_dir bash-completion completionsdir)
    if(bc_prefix AND bc_dir MATCHES "^${bc_prefix}/")
      file(RELATIVE_PATH bash_completion_dir ${bc_prefix} ${bc_dir})
    endif()
  endif()
endif()

if(TARGET tavrel-cli)
  install(TARGETS tavrel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  tavrel_install_man_page(tavrel-cli)
  install(FILES ${TAVREL_RES_DIR}/completion/tavrel-cli.bash
          DESTINATION ${bash_completion_dir} RENAME tavrel-cli)
endif()

if(TARGET tavrel)
  install(TARGETS tavrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  tavrel_install_man_page(tavrel)
  install(FILES ${TAVREL_RES_DIR}/tavrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${TAVREL_RES_DIR}/tavrel-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
          RENAME tavrel.xml)
  install(FILES ${TAVREL_RES_DIR}/org.tavrel.Tavrel.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  # File managers' thumbnails of those MIME types, drawn by tavrel-cli.
  if(TARGET tavrel-cli)
    install(FILES ${TAVREL_RES_DIR}/tavrel.thumbnailer DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)
  endif()
  file(GLOB icons ${TAVREL_RES_DIR}/icons/tavrel-*.png)
  foreach(icon ${icons})
    string(REGEX REPLACE ".*tavrel-([0-9]+)\\.png$" "\\1" size ${icon})
    install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME tavrel.png)
  endforeach()
endif()

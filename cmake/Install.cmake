# What `cmake --install` puts below the prefix, and the Debian package
# `cpack -G DEB` makes of it. The modules, the image decoder and the stub go
# to lib/quarn through quarn_install_private() where each is built.

# The icon and the desktop files also sit beside the program in the build
# tree, as in a portable copy.
file(COPY ${CMAKE_SOURCE_DIR}/data/quarn.png ${CMAKE_SOURCE_DIR}/data/quarn.svg DESTINATION ${QUARN_BIN_DIR})

foreach(_program quarn quarn-cli)
  if(TARGET ${_program})
    install(TARGETS ${_program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/help/ DESTINATION ${QUARN_INSTALL_HELPDIR})
install(FILES ${CMAKE_SOURCE_DIR}/data/quarn.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/data/quarn.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/data/quarn.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)
install(FILES ${CMAKE_SOURCE_DIR}/data/io.github.quarn.Quarn.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The man page goes in compressed, as Debian keeps them.
find_program(QUARN_GZIP gzip REQUIRED)
set(_man ${CMAKE_BINARY_DIR}/man/quarn-cli.1.gz)
add_custom_command(OUTPUT ${_man}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
  COMMAND ${QUARN_GZIP} -9 -n -c ${CMAKE_SOURCE_DIR}/data/quarn-cli.1 > ${_man}
  DEPENDS ${CMAKE_SOURCE_DIR}/data/quarn-cli.1 VERBATIM)
add_custom_target(quarn_manpage ALL DEPENDS ${_man})
install(FILES ${_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarn)
set(CPACK_PACKAGE_VENDOR "Quarn")
set(CPACK_PACKAGE_CONTACT "Quarn developers <quarn@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "archive utility for zip, tar, gzip and RAR files")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "archive utility for zip, tar, gzip and RAR files
 Quarn opens zip, tar, gzipped tar, gzip and RAR archives, lists, filters and
 extracts their entries, creates and updates zip archives, writes tar and gzip
 files and extracts many zip files in one run. quarn-cli does the same work
 from a terminal.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)

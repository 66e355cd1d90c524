# Where an installed Quarn keeps its files (GNU layout below the prefix):
# the programs in bin, the loadable modules, the image decoder and the
# self-extractor stub in lib/quarn, the help pages in share/quarn/help.
include(GNUInstallDirs)
set(QUARN_INSTALL_PKGLIBDIR "lib/quarn" CACHE STRING "Modules, helper programs and the stub, below the prefix")
set(QUARN_INSTALL_HELPDIR "${CMAKE_INSTALL_DATADIR}/quarn/help" CACHE STRING "Help pages, below the prefix")

# The program finds them from its own folder: these paths, relative to bin.
file(RELATIVE_PATH QUARN_BIN_TO_MODULES /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${QUARN_INSTALL_PKGLIBDIR})
file(RELATIVE_PATH QUARN_BIN_TO_HELP /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${QUARN_INSTALL_HELPDIR})

# quarn_install_private(TARGETS t... | FILES f...): installs programs,
# modules or plain files into lib/quarn, where the program looks for them.
# The modules, the image decoder and the stub each need one such line.
function(quarn_install_private)
  cmake_parse_arguments(P "" "" "TARGETS;FILES" ${ARGN})
  if(P_TARGETS)
    install(TARGETS ${P_TARGETS}
            RUNTIME DESTINATION ${QUARN_INSTALL_PKGLIBDIR}
            LIBRARY DESTINATION ${QUARN_INSTALL_PKGLIBDIR})
  endif()
  if(P_FILES)
    install(FILES ${P_FILES} DESTINATION ${QUARN_INSTALL_PKGLIBDIR})
  endif()
endfunction()

# The installed tree: the five programs in bin/, their data in share/vantorel/ (found there
# through ../share/vantorel, profile::ProgramFolder), desktop entries, icons, AppStream
# metadata, gzip-compressed manual pages and the ufw application profile.
include(GNUInstallDirs)

set(VANTOREL_DATA_DIR ${CMAKE_INSTALL_DATADIR}/vantorel)
set(resources ${PROJECT_SOURCE_DIR}/resources)

install(TARGETS strovan lunnet vantorel-cast vantorel-listen vantorel-web
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${VANTOREL_RESDLL} DESTINATION ${VANTOREL_DATA_DIR})
install(DIRECTORY ${resources}/Language ${resources}/help DESTINATION ${VANTOREL_DATA_DIR})
# vantorel-web's page, beside the other data.
install(DIRECTORY ${resources}/web DESTINATION ${VANTOREL_DATA_DIR})

install(FILES ${resources}/strovan/strovan.desktop ${resources}/lunnet/lunnet.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${resources}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

set(generated ${CMAKE_BINARY_DIR}/packaging)
foreach(program strovan lunnet)
  configure_file(${resources}/${program}/org.vantorel.${program}.metainfo.xml.in
                 ${generated}/org.vantorel.${program}.metainfo.xml @ONLY)
  install(FILES ${generated}/org.vantorel.${program}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endforeach()

# Manual pages as Debian policy asks: gzip -9 without a name or time stamp (-n), so the
# package's bytes do not depend on when it was built.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(man_pages "")
foreach(program strovan lunnet vantorel-cast vantorel-listen vantorel-web)
  set(page ${generated}/man/${program}.1)
  configure_file(${resources}/man/${program}.1.in ${page} @ONLY)
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${GZIP_PROGRAM} -9nkf ${page}
    DEPENDS ${page}
    COMMENT "Compressing the manual page ${program}.1"
    VERBATIM)
  list(APPEND man_pages ${page}.gz)
endforeach()
add_custom_target(vantorel_man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Receivers need UDP 5937: `ufw allow Vantorel` opens it. /etc/ufw for a /usr prefix.
install(FILES ${resources}/ufw/vantorel
        DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/ufw/applications.d)

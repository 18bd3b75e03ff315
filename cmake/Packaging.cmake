# Installation and Debian packages. Three packages, so that a headless machine can take the
# command line tool without Qt: zemrik (the window program and the desktop files), zemrik-cli and
# zemrik-sim. The sanitizer and fuzz builds are for testing only and install nothing.
if(ZEMRIK_FUZZ OR ZEMRIK_SANITIZE)
  return()
endif()

include(GNUInstallDirs)
# Directories 0755 whatever the umask of the machine that builds them.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(TARGET zemrik)
  install(TARGETS zemrik RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT zemrik)
endif()
install(TARGETS zemrik-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT zemrik-cli)
install(TARGETS zemrik-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT zemrik-sim)

add_subdirectory(desktop)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zemrik)
set(CPACK_PACKAGE_VENDOR "Zemrik developers")
set(CPACK_PACKAGE_CONTACT "Zemrik developers <dev@zemrik.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://zemrik.org/")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL zemrik zemrik-cli zemrik-sim)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE zemrik)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_ZEMRIK_PACKAGE_NAME zemrik)
set(CPACK_DEBIAN_ZEMRIK-CLI_PACKAGE_NAME zemrik-cli)
set(CPACK_DEBIAN_ZEMRIK-SIM_PACKAGE_NAME zemrik-sim)
# The window program brings the tool and the emulator along, as the menu entry promises both.
set(CPACK_COMPONENT_ZEMRIK_DEPENDS zemrik-cli zemrik-sim)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_COMPONENT_ZEMRIK_DESCRIPTION "companion program of the Zemrik cable-measuring instrument
Zemrik reads every measurement a Zemrik cable-measuring instrument has
stored, over its RS-232 line or a USB serial adapter, shows each one with
its values and cable sections, keeps them in measurement files (.zmk) and
sends chosen records back. Its cable table window edits the instrument's
table of cable types and keeps it in cable table files (.cbl).

This package holds the window program (Qt 6), its menu entry, the file
types and icons, so that a file manager opens .zmk and .cbl files with it.")
set(CPACK_COMPONENT_ZEMRIK-CLI_DESCRIPTION "Zemrik instrument and files from the command line
zemrik-cli reads Zemrik measurement (.zmk) and cable table (.cbl) files and
talks to a Zemrik cable-measuring instrument over a serial line: it lists,
reads, writes and deletes the stored records and reads and writes the
instrument's cable table, printing text or JSON for scripts.

It needs no windowing libraries, so it suits headless machines.")
set(CPACK_COMPONENT_ZEMRIK-SIM_DESCRIPTION "emulator of the Zemrik cable-measuring instrument
zemrik-sim emulates a Zemrik cable-measuring instrument on a
pseudo-terminal, for trying the Zemrik programs without an instrument and
for training. It keeps records and a cable table, answers every command
of the instrument's protocol at the real line rate if asked, and can be
told to misbehave (silence, bad checksums, refused writes, a full memory)
to show how the programs handle a faulty line.")

include(CPack)

# Installation and the Debian package: the programs with their manual pages,
# an icon, a menu entry, and the documents Debian asks for (copyright,
# changelog). `cpack -G DEB` in a configured build makes the package;
# scripts/package.sh builds what it needs first and checks the result.
include(GNUInstallDirs)

set(QUILLMERE_PROGRAMS quillmere quillmere-sim)
if(TARGET quillmere-cli)
  list(APPEND QUILLMERE_PROGRAMS quillmere-cli)
endif()
# Debian keeps a package's documents under its package name.
set(QUILLMERE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/quillmere)

install(TARGETS ${QUILLMERE_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripping install (the package's) also drops the compiler's version notes.
foreach(program IN LISTS QUILLMERE_PROGRAMS)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
                      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\"
                      COMMAND_ERROR_IS_FATAL ANY)
    endif()")
endforeach()
install(FILES packaging/quillmere.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/quillmere.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES README.md docs/user-guide.md docs/window.png DESTINATION ${QUILLMERE_DOCDIR} OPTIONAL)
install(FILES packaging/copyright DESTINATION ${QUILLMERE_DOCDIR})

# The changelog's newest entry names the version being packaged.
file(STRINGS packaging/changelog changelogHead LIMIT_COUNT 1)
if(NOT changelogHead MATCHES "^quillmere \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog: the first entry must be for version ${PROJECT_VERSION}")
endif()

# Debian wants its compressed documents without a name or time stamp in the
# gzip header (-n), so that rebuilding gives the same bytes.
find_program(GZIP_PROGRAM gzip REQUIRED)
find_program(HELP2MAN_PROGRAM help2man)
set(packagingDir ${CMAKE_CURRENT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${packagingDir}/man)

add_custom_command(
  OUTPUT ${packagingDir}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/changelog ${packagingDir}/changelog
  COMMAND ${GZIP_PROGRAM} -9nf ${packagingDir}/changelog
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
  VERBATIM)
set(packagingFiles ${packagingDir}/changelog.gz)
install(FILES ${packagingDir}/changelog.gz DESTINATION ${QUILLMERE_DOCDIR})

# Manual pages made from each program's --help and --version.
set(quillmere_MANUAL_NAME "configure a GPRS data terminal unit over a serial line")
set(quillmere-sim_MANUAL_NAME "simulated GPRS data terminal unit for trying quillmere without hardware")
set(quillmere-cli_MANUAL_NAME "read, write and check DTU parameters from the command line")
if(HELP2MAN_PROGRAM)
  foreach(program IN LISTS QUILLMERE_PROGRAMS)
    set(page ${packagingDir}/man/${program}.1)
    add_custom_command(
      OUTPUT ${page}.gz
      COMMAND ${HELP2MAN_PROGRAM} --no-info --section=1 "--name=${${program}_MANUAL_NAME}"
              --output=${page} $<TARGET_FILE:${program}>
      COMMAND ${GZIP_PROGRAM} -9nf ${page}
      DEPENDS ${program}
      VERBATIM)
    list(APPEND packagingFiles ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
else()
  message(WARNING "help2man not found: the programs are installed without manual pages")
endif()
add_custom_target(quillmere-package-files ALL DEPENDS ${packagingFiles})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmere)
set(CPACK_PACKAGE_VENDOR "Quillmere developers")
set(CPACK_PACKAGE_CONTACT "Quillmere developers <dev@quillmere.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "GPRS DTU parameter configuration tool over a serial line")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillmere is a desktop tool with which a field technician configures a GPRS\n"
    "data terminal unit (DTU) over a serial line. It opens a serial port at 57600\n"
    "bit/s 8N1, waits for the DTU to announce itself, reads the DTU's parameter\n"
    "set into a form, writes the ticked fields back, and can serve as a plain\n"
    "serial terminal. Its user interface is in Simplified Chinese.\n"
    "\n"
    "The package also holds quillmere-sim, a simulated DTU on a pseudo-terminal\n"
    "or a serial device, for trying the tool without hardware.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Library dependencies are read off the binaries; the CJK font is what makes the captions legible.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-zenhei")
# The package is made from the targets scripts/package.sh builds, not from
# everything a build with tests holds.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)

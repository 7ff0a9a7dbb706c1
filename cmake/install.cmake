# Installation and packages.
#
# cncsend reads down.cfg from the folder of its real executable, so the
# program and down.cfg share one folder (lib/cncsend) and bin/ holds a link
# to the program. On Linux down.cfg itself lives in the system's
# configuration folder (/etc/cncsend for the package), where a package
# manager keeps the operator's factors over upgrades; the name beside the
# program is a link to it.
include(GNUInstallDirs)
set(CPACK_PACKAGE_NAME cncsend)
set(CPACK_PACKAGE_VERSION 1.0.0)
set(CPACK_PACKAGE_VENDOR cncsend)
set(CPACK_PACKAGE_CONTACT "cncsend maintainers <cncsend@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sends a machining job to a CNC controller on a serial line")
set(CPACK_STRIP_FILES ON)
set(links ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${links})

if(WIN32)
  # One folder to unpack: the program, down.cfg, and a short README in the
  # console's code page with CR LF line ends.
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(readme ${CMAKE_BINARY_DIR}/README.TXT)
  add_custom_command(OUTPUT ${readme}
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/packaging/windows/to_oem.py
            ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt ${readme}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt
            ${PROJECT_SOURCE_DIR}/packaging/windows/to_oem.py)
  add_custom_target(windows_readme ALL DEPENDS ${readme})
  install(TARGETS cncsend RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/examples/down.cfg ${readme} DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win32)
  include(CPack)
  return()
endif()

set(program_dir ${CMAKE_INSTALL_LIBDIR}/cncsend)
if(CMAKE_INSTALL_LIBDIR MATCHES "/")
  set(program_dir lib/cncsend)  # a multiarch libdir has no place for programs
endif()
set(config_dir ${CMAKE_INSTALL_FULL_SYSCONFDIR}/cncsend)
file(RELATIVE_PATH program_from_bin ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}
     ${CMAKE_INSTALL_PREFIX}/${program_dir}/cncsend)
file(CREATE_LINK ${program_from_bin} ${links}/cncsend SYMBOLIC)
file(CREATE_LINK ${config_dir}/down.cfg ${links}/down.cfg SYMBOLIC)

install(TARGETS cncsend RUNTIME DESTINATION ${program_dir})
install(FILES ${links}/down.cfg DESTINATION ${program_dir})
install(FILES ${links}/cncsend DESTINATION ${CMAKE_INSTALL_BINDIR})
# An installation over an older one keeps the operator's factors.
install(CODE "
  if(NOT EXISTS \"\$ENV{DESTDIR}${config_dir}/down.cfg\")
    file(INSTALL DESTINATION \"${config_dir}\" TYPE FILE
         FILES \"${PROJECT_SOURCE_DIR}/examples/down.cfg\")
  endif()")
if(TARGET cncsim)
  install(TARGETS cncsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

find_program(GZIP gzip)
set(manual ${PROJECT_SOURCE_DIR}/man/cncsend.1)
if(GZIP)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/cncsend.1.gz
    COMMAND ${GZIP} -9nc ${manual} > ${CMAKE_BINARY_DIR}/cncsend.1.gz
    DEPENDS ${manual})
  add_custom_target(manual ALL DEPENDS ${CMAKE_BINARY_DIR}/cncsend.1.gz)
  install(FILES ${CMAKE_BINARY_DIR}/cncsend.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  install(FILES ${manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The Debian package: dependencies computed from the binaries, down.cfg a
# conffile. Absolute destinations (/etc) need the staging DESTDIR.
file(WRITE ${CMAKE_BINARY_DIR}/debian/conffiles "${config_dir}/down.cfg\n")
set(CPACK_GENERATOR DEB)
set(CPACK_SET_DESTDIR ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "cncsend streams a job file line by line to a machine controller on a serial line, one command per line, one reply byte per command, with an operator dialogue and a progress display. cncsim, a simulated controller on a pseudo-terminal, comes with it.")
include(CPack)

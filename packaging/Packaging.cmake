# Installation beyond the programs and the library themselves (desktop entry,
# icon, AppStream data, manual pages, package documents) and the Debian
# package: cpack -G DEB in the build folder. Included at the end of the
# top-level CMakeLists.txt, once every target exists.
include(GNUInstallDirs)

set(ORA_APP_ID org.ora2orb2.ORA2ORB2)
set(ORA_PACKAGE_MAINTAINER "ORA2ORB2 maintainers <maintainers@ora2orb2.org>"
    CACHE STRING "Maintainer named in the Debian package")
set(ora_desktop_dir ${PROJECT_SOURCE_DIR}/resources/desktop)
set(ora_out ${PROJECT_BINARY_DIR}/packaging)
set(ora_docdir ${CMAKE_INSTALL_DATADIR}/doc/ora2orb2)
file(MAKE_DIRECTORY ${ora_out})

# Directories the installation creates: rwxr-xr-x whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The command-line tool, when this tree builds it, installs beside the program
# and finds libCRC16.so the same way.
if(TARGET ora2orb2-cli)
  ora_installed_run_path(ora2orb2-cli)
  install(TARGETS ora2orb2-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

if(NOT WIN32)
  # Menu entry, AppStream data and the scalable icon.
  configure_file(${ora_desktop_dir}/${ORA_APP_ID}.metainfo.xml.in ${ora_out}/${ORA_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${ora_desktop_dir}/${ORA_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${ora_out}/${ORA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${ora_desktop_dir}/${ORA_APP_ID}.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

  set(ora_generated)

  # The icon in the fixed sizes desktops still ask for, drawn from the SVG.
  find_program(ORA_RSVG_CONVERT rsvg-convert)
  if(ORA_RSVG_CONVERT)
    foreach(size 16 24 32 48 64 128 256)
      set(png ${ora_out}/icons/${size}x${size}/${ORA_APP_ID}.png)
      add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${ora_out}/icons/${size}x${size}
        COMMAND ${ORA_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${ora_desktop_dir}/${ORA_APP_ID}.svg
        DEPENDS ${ora_desktop_dir}/${ORA_APP_ID}.svg
        COMMENT "Drawing the ${size}x${size} icon" VERBATIM)
      install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
      list(APPEND ora_generated ${png})
    endforeach()
  else()
    message(STATUS "rsvg-convert not found: only the scalable icon is installed (Debian: librsvg2-bin)")
  endif()

  # Manual pages, written by help2man from each program's --help, so the
  # option lists have one source. Needs the programs to run on this machine.
  find_program(ORA_HELP2MAN help2man)
  find_program(ORA_GZIP gzip)
  if(ORA_HELP2MAN AND ORA_GZIP AND NOT CMAKE_CROSSCOMPILING)
    # ora_manpage(target name "one-line description")
    function(ora_manpage target name description)
      set(page ${ora_out}/man/${name}.1)
      add_custom_command(OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${ora_out}/man
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                ${ORA_HELP2MAN} --no-info --section=1 --name=${description}
                --version-string=${PROJECT_VERSION} --output=${page} $<TARGET_FILE:${target}>
        COMMAND ${ORA_GZIP} -9nf ${page}
        DEPENDS ${target}
        COMMENT "Writing the manual page ${name}(1)" VERBATIM)
      install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
      set(ora_generated ${ora_generated} ${page}.gz PARENT_SCOPE)
    endfunction()
    ora_manpage(ORA2ORB2 ORA2ORB2 "configure and monitor ORA-2 / ORB-2 laser distance sensors")
    if(TARGET ora2orb2-sim)
      ora_manpage(ora2orb2-sim ora2orb2-sim "simulated ORA-2 / ORB-2 laser distance sensor on a pseudo-terminal")
    endif()
    if(TARGET ora2orb2-cli)
      ora_manpage(ora2orb2-cli ora2orb2-cli "ORA-2 / ORB-2 laser distance sensors from the command line")
    endif()
  else()
    message(STATUS "help2man or gzip not found (or cross-compiling): no manual pages")
  endif()

  # The package's documents: copyright and changelog.
  configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${ora_out}/copyright @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${ora_out}/changelog @ONLY)
  if(ORA_GZIP)
    add_custom_command(OUTPUT ${ora_out}/changelog.gz
      COMMAND ${ORA_GZIP} -9nc ${ora_out}/changelog > ${ora_out}/changelog.gz
      DEPENDS ${ora_out}/changelog
      COMMENT "Compressing the changelog")
    install(FILES ${ora_out}/changelog.gz DESTINATION ${ora_docdir})
    list(APPEND ora_generated ${ora_out}/changelog.gz)
  endif()
  install(FILES ${ora_out}/copyright DESTINATION ${ora_docdir})

  add_custom_target(ora_packaging_files ALL DEPENDS ${ora_generated})
endif()

# The Debian package. Its paths are a Debian system's (the private library in
# /usr/lib/<multiarch>/ora2orb2) when the build is configured with
# -DCMAKE_INSTALL_PREFIX=/usr, as scripts/test-package.sh does.
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  message(STATUS "For the Debian package configure with -DCMAKE_INSTALL_PREFIX=/usr")
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ora2orb2)
set(CPACK_PACKAGE_VENDOR "ORA2ORB2")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ORA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configure and monitor ORA-2 / ORB-2 laser distance sensors")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own dialogs in German come from Qt's translations.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The extended description under the summary; CPack indents the lines and
# marks the empty one.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "ORA2ORB2 talks to an ORA-2 or ORB-2 laser distance sensor over a serial
port. It reads distances one at a time or continuously, shows them as a
number, in a large value window and as a scrolling time chart, records
them to files, and reads, checks, writes and stores the sensor's
parameter set. Every window speaks German or English.

The package holds the program, its CRC16 library, the simulated sensor
ora2orb2-sim and, where built, the command-line tool ora2orb2-cli.")
include(CPack)

# Install rules and the Debian package.
#
# The tool reads the catalogue from the folder "xml" of its working directory,
# so the sample catalogue goes to <datadir>/kwn-frame-builder/xml and the
# desktop entry starts the tool in <datadir>/kwn-frame-builder. The entry is
# written at install time, so that "cmake --install --prefix P" and the package
# (prefix /usr) both get the folder they really install to.

include(GNUInstallDirs)

set(KWN_PACKAGE_NAME kwn-frame-builder)
set(KWN_APPSTREAM_ID io.github.quorvex.kwnframebuilder)
set(KWN_PACKAGING_DIR ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(KWN_PACKAGING_BINARY_DIR ${CMAKE_CURRENT_BINARY_DIR}/packaging)
# Not CMAKE_INSTALL_DOCDIR: that one is named after the CMake project, and Debian
# wants the package's name for the folder of the copyright file.
set(KWN_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${KWN_PACKAGE_NAME})

install(TARGETS kwn-frame-builder RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET kwn-frame)
  install(TARGETS kwn-frame RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# Live capture in Wireshark: the capture program in Wireshark's extcap folder
# and the dissector of the sample catalogue, made at build time, in its global
# Lua plugins folder. Debian's Wireshark looks in /usr/lib/<arch>/wireshark,
# which is <libdir>/wireshark when the prefix is /usr (scripts/package.sh).
set(KWN_WIRESHARK_LIBDIR ${CMAKE_INSTALL_LIBDIR}/wireshark)
if(TARGET kwn-extcap)
  install(TARGETS kwn-extcap RUNTIME DESTINATION ${KWN_WIRESHARK_LIBDIR}/extcap)
endif()
if(TARGET kwn-frame)
  file(GLOB_RECURSE kwn_catalogue_files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/xml/*.xml)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/kwn.lua
    COMMAND kwn-frame dissector --xml ${CMAKE_CURRENT_SOURCE_DIR}/xml -o ${CMAKE_CURRENT_BINARY_DIR}/kwn.lua
    DEPENDS kwn-frame ${kwn_catalogue_files}
    COMMENT "Making the Wireshark dissector of the sample catalogue")
  add_custom_target(kwn-dissector ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/kwn.lua)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kwn.lua DESTINATION ${KWN_WIRESHARK_LIBDIR}/plugins)
endif()

# Sample catalogue: profile files directly in xml/, message files in subfolders.
# Only the definition files, so an editor's backup or a stray note stays behind.
install(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/xml/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/${KWN_PACKAGE_NAME}/xml
  FILES_MATCHING PATTERN "*.xml" PATTERN "*.XML")

# Everything below is for freedesktop systems (menus, icon themes, software centres).
if(UNIX AND NOT APPLE)
  foreach(size 16 32 48 64 128 256)
    install(FILES
      ${CMAKE_CURRENT_SOURCE_DIR}/resources/icons/hicolor/${size}x${size}/apps/${KWN_PACKAGE_NAME}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()

  install(FILES ${KWN_PACKAGING_DIR}/${KWN_APPSTREAM_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  install(FILES ${KWN_PACKAGING_DIR}/copyright ${CMAKE_CURRENT_SOURCE_DIR}/docs/catalogue.md
    DESTINATION ${KWN_INSTALL_DOCDIR})

  # Desktop entry with Path= set to the installed catalogue's parent folder, and
  # the manual pages and the changelog compressed the Debian way (gzip -9n: no
  # name or time stamp inside, so two builds give the same bytes).
  find_program(KWN_GZIP gzip)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_DATADIR}")
    set(kwn_datadir_expr "${CMAKE_INSTALL_DATADIR}")
  else()
    set(kwn_datadir_expr "\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}")
  endif()
  if(IS_ABSOLUTE "${CMAKE_INSTALL_MANDIR}")
    set(kwn_mandir_expr "${CMAKE_INSTALL_MANDIR}")
  else()
    set(kwn_mandir_expr "\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}")
  endif()
  if(IS_ABSOLUTE "${KWN_INSTALL_DOCDIR}")
    set(kwn_docdir_expr "${KWN_INSTALL_DOCDIR}")
  else()
    set(kwn_docdir_expr "\${CMAKE_INSTALL_PREFIX}/${KWN_INSTALL_DOCDIR}")
  endif()

  set(kwn_manpages ${KWN_PACKAGING_DIR}/kwn-frame-builder.1)
  if(TARGET kwn-frame)
    list(APPEND kwn_manpages ${KWN_PACKAGING_DIR}/kwn-frame.1)
  endif()
  if(TARGET kwn-extcap)
    list(APPEND kwn_manpages ${KWN_PACKAGING_DIR}/kwn-extcap.1)
  endif()

  install(CODE "
    set(KWN_DESKTOP_PATH \"${kwn_datadir_expr}/${KWN_PACKAGE_NAME}\")
    configure_file(\"${KWN_PACKAGING_DIR}/${KWN_PACKAGE_NAME}.desktop.in\"
      \"${KWN_PACKAGING_BINARY_DIR}/${KWN_PACKAGE_NAME}.desktop\" @ONLY)
    file(INSTALL DESTINATION \"${kwn_datadir_expr}/applications\" TYPE FILE
      FILES \"${KWN_PACKAGING_BINARY_DIR}/${KWN_PACKAGE_NAME}.desktop\")

    set(kwn_gzip \"${KWN_GZIP}\")
    if(NOT kwn_gzip)
      message(FATAL_ERROR \"gzip is needed to install the manual pages and the changelog\")
    endif()
    file(MAKE_DIRECTORY \"${KWN_PACKAGING_BINARY_DIR}/gz\")
    set(kwn_man1)
    foreach(page ${kwn_manpages})
      get_filename_component(name \"\${page}\" NAME)
      execute_process(COMMAND \"\${kwn_gzip}\" -9nc \"\${page}\"
        OUTPUT_FILE \"${KWN_PACKAGING_BINARY_DIR}/gz/\${name}.gz\" RESULT_VARIABLE rc)
      if(NOT rc EQUAL 0)
        message(FATAL_ERROR \"gzip failed on \${page}\")
      endif()
      list(APPEND kwn_man1 \"${KWN_PACKAGING_BINARY_DIR}/gz/\${name}.gz\")
    endforeach()
    file(INSTALL DESTINATION \"${kwn_mandir_expr}/man1\" TYPE FILE FILES \${kwn_man1})

    execute_process(COMMAND \"\${kwn_gzip}\" -9nc \"${KWN_PACKAGING_DIR}/changelog\"
      OUTPUT_FILE \"${KWN_PACKAGING_BINARY_DIR}/gz/changelog.gz\" RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR \"gzip failed on the changelog\")
    endif()
    file(INSTALL DESTINATION \"${kwn_docdir_expr}\" TYPE FILE
      FILES \"${KWN_PACKAGING_BINARY_DIR}/gz/changelog.gz\")
  ")
endif()

# Debian package: cpack -G DEB in a Release build (scripts/package.sh).
set(CPACK_PACKAGE_NAME ${KWN_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "KWN Frame Builder developers")
set(CPACK_PACKAGE_CONTACT "KWN Frame Builder developers <kwn-frame-builder@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "build and decode frames of the KWN bus")
set(CPACK_PACKAGE_INSTALL_DIRECTORY ${KWN_PACKAGE_NAME})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Install with DESTDIR and the real prefix, so the desktop entry names /usr/share/...
# and not the staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX ${CPACK_PACKAGING_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_NAME ${KWN_PACKAGE_NAME})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# CPack puts the summary above this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "KWN Frame Builder is a desktop tool for the KWN bus, on which motors and
other nodes exchange frames addressed by node IDs. It builds a frame from a
device, a message, its parameter values, the addressing mode and the node
IDs, and shows it as hexadecimal text ready to copy; and it decodes pasted
frame text into the device, the header fields, the message and each
parameter value.
.
The catalogue of devices and messages is read from XML files; a sample
catalogue is installed in /usr/share/kwn-frame-builder/xml, where the menu
entry starts the tool.
.
Wireshark captures the bus live through the interface kwn, KWN bus (serial),
and shows its frames decoded by the dissector of the sample catalogue.")
# Wireshark is only needed for the live capture and the dissector.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wireshark | tshark")
include(CPack)

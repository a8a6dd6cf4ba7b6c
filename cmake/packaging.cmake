# Desktop integration, documentation and the Debian package (cpack in the build directory).
install(FILES ${PROJECT_SOURCE_DIR}/resources/kivrel.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/kivrel.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
# The AppStream id is the vendor's reverse domain name; its launchable is kivrel.desktop.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/example.orbeck.kivrel.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages (with the project's version filled in) and the changelog go in compressed
# with gzip -9n, as Debian wants them: best compression, and no file name or time stamp in
# the header, so every build yields the same bytes.
find_program(KIVREL_GZIP gzip REQUIRED)
set(KIVREL_DOC_DIR ${PROJECT_BINARY_DIR}/packaging)
set(kivrel_gz_files)
foreach(page kivrel.1 kivrel-sim.1 kivrel-cli.1)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/${page}.in ${KIVREL_DOC_DIR}/${page} @ONLY)
  list(APPEND kivrel_gz_files ${KIVREL_DOC_DIR}/${page}.gz)
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog ${KIVREL_DOC_DIR}/changelog COPYONLY)
list(APPEND kivrel_gz_files ${KIVREL_DOC_DIR}/changelog.gz)
foreach(gz IN LISTS kivrel_gz_files)
  string(REGEX REPLACE "\\.gz$" "" plain ${gz})
  add_custom_command(OUTPUT ${gz}
    COMMAND ${KIVREL_GZIP} -9 -n -k -f ${plain}
    DEPENDS ${plain}
    COMMENT "Compressing ${plain}"
    VERBATIM)
endforeach()
add_custom_target(kivrel-docs ALL DEPENDS ${kivrel_gz_files})

install(FILES ${KIVREL_DOC_DIR}/kivrel.1.gz ${KIVREL_DOC_DIR}/kivrel-sim.1.gz
  ${KIVREL_DOC_DIR}/kivrel-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Where bash-completion loads a command's completion on first use.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/kivrel-cli.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kivrel-cli)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${KIVREL_DOC_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
# kivrel-cli publish as a service: the systemd template unit kivrel-publish@NAME (its ExecStart
# names /usr/bin/kivrel-cli, where the package puts it) and an example of its settings, which
# the package leaves out of /etc: it marks no conffiles.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/kivrel-publish@.service
  DESTINATION lib/systemd/system)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/publish.conf
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

set(CPACK_PACKAGE_NAME kivrel)
set(CPACK_PACKAGE_VENDOR "Orbeck GmbH")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Set-up and monitoring tool for the KIVREL edge sensor")
# The extended description of the package; CPack puts the summary above it. Read here
# rather than named as CPACK_PACKAGE_DESCRIPTION_FILE, which CPack would XML-escape.
file(READ ${PROJECT_SOURCE_DIR}/packaging/description.txt CPACK_DEBIAN_PACKAGE_DESCRIPTION)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/packaging/description.txt)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "KIVREL maintainers <maintainers@orbeck.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.orbeck.example/")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The library packages the binaries link, found by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Installed binaries without symbols or compiler notes; directories 0755 whatever the umask.
set(CPACK_STRIP_FILES ON)
set(CPACK_KIVREL_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/strip-sections.cmake)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)

# The Debian package (scripts/package, CMake preset "package"): the program folder in
# /usr/lib/pelmora, the launcher /usr/bin/pelmora that gives every user a program folder of their
# own, the menu entry, icons, AppStream data, the guide and the manual page. CPack's DEB generator
# writes it; the program's library dependencies come from dpkg-shlibdeps.
if(NOT PELMORA_GUI OR NOT PELMORA_SHARED_INSTALL)
  message(FATAL_ERROR "The Debian package needs PELMORA_GUI and PELMORA_SHARED_INSTALL (preset package)")
endif()

set(package_sources ${CMAKE_SOURCE_DIR}/packaging/debian)
set(package_build ${CMAKE_BINARY_DIR}/package-files)
file(MAKE_DIRECTORY ${package_build})

set(PELMORA_INSTALLED_PROGRAM_FOLDER ${CMAKE_INSTALL_PREFIX}/${PELMORA_INSTALL_PROGRAM_DIR})
configure_file(${package_sources}/launcher.sh.in ${package_build}/pelmora @ONLY)

# Debian wants the changelog and the manual page compressed, without a time stamp in the header.
set(compressed ${package_build}/changelog.Debian.gz ${package_build}/pelmora.1.gz)
add_custom_command(OUTPUT ${compressed}
  COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" _ ${package_sources}/changelog ${package_build}/changelog.Debian.gz
  COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" _ ${package_sources}/pelmora.1 ${package_build}/pelmora.1.gz
  DEPENDS ${package_sources}/changelog ${package_sources}/pelmora.1
  VERBATIM)
add_custom_target(pelmora_package_files ALL DEPENDS ${compressed})

install(PROGRAMS ${package_build}/pelmora DESTINATION bin)
install(FILES ${CMAKE_SOURCE_DIR}/assets/pelmora.desktop DESTINATION share/applications)
foreach(size 16 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/assets/resources/pelmora-${size}.png
    DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME pelmora.png)
endforeach()
install(FILES ${package_sources}/pelmora.metainfo.xml DESTINATION share/metainfo)
install(FILES ${package_build}/pelmora.1.gz DESTINATION share/man/man1)
# The program opens the guide from its own folder (docs/guide.html there, installed with the
# program folder); the copy here is the one people look for among the documentation.
install(FILES ${CMAKE_SOURCE_DIR}/docs/guide.html ${package_sources}/copyright
  ${package_build}/changelog.Debian.gz DESTINATION share/doc/pelmora)

# What the program needs at run time without linking it: the lines tagged "run:" in
# scripts/packages.txt (the Japanese font, the toolkit's translations). The Qt plugins it loads
# (xcb, GIF, TLS, multimedia) come with the Qt libraries dpkg-shlibdeps finds.
file(STRINGS ${CMAKE_SOURCE_DIR}/scripts/packages.txt run_packages REGEX "^run: ")
list(TRANSFORM run_packages REPLACE "^run: *" "")
list(JOIN run_packages ", " run_depends)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Pelmora developers")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop mail notifier watching one POP3 mailbox")
# The long description as dpkg shows it: lines of at most 80 characters, "." for an empty line.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Pelmora watches one POP3 mailbox, by hand or every few minutes, and when"
  "mail is waiting it either starts your mail program or raises an alert: a"
  "repeating bark, the dog in its window jumping up, and an always-on-top notice"
  "board with the number of messages. Its windows and menus are in Japanese; the"
  "guide is in Japanese and English."
  "."
  "It talks to the server over TLS whenever the server offers it, and can hang up"
  "dial-up connections (through NetworkManager) after each check. Every user gets"
  "a program folder of their own under ~/.local/share/pelmora, where the settings"
  "are kept.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Pelmora developers <maintainers@users.noreply.c-seed-925f1fd4.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${run_depends}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)

# The distribution folder: the program folder exactly as users get it. Every build fills
# build/<preset>/dist with the executable and, beside it, the sound, the images and an empty data
# folder. The program runs from there unchanged, and an install copies the folder whole.
set(PELMORA_DIST_DIR ${CMAKE_BINARY_DIR}/dist)
set(PELMORA_DATA_FOLDER_NAME "★MailData")

add_custom_target(pelmora_dist ALL
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/assets/dist ${PELMORA_DIST_DIR}
  COMMAND ${CMAKE_COMMAND} -E make_directory "${PELMORA_DIST_DIR}/${PELMORA_DATA_FOLDER_NAME}"
  COMMENT "Filling the distribution folder ${PELMORA_DIST_DIR}"
  VERBATIM)

if(EXISTS ${CMAKE_SOURCE_DIR}/docs/guide.html)
  add_custom_command(TARGET pelmora_dist POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/docs/guide.html ${PELMORA_DIST_DIR}/docs/guide.html
    VERBATIM)
endif()

# An install copies what the distribution is made of, never the settings files a run from the
# build tree may have left in its data folder. A shared installation (the Debian package) has no
# data folder of its own: its launcher gives each user one.
set(PELMORA_INSTALL_PROGRAM_DIR pelmora CACHE STRING
  "Where an install puts the program folder, relative to the install prefix")
option(PELMORA_SHARED_INSTALL "Install for every user of the machine (no data folder in the program folder)" OFF)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/assets/dist/ DESTINATION ${PELMORA_INSTALL_PROGRAM_DIR})
if(NOT PELMORA_SHARED_INSTALL)
  install(DIRECTORY DESTINATION "${PELMORA_INSTALL_PROGRAM_DIR}/${PELMORA_DATA_FOLDER_NAME}")
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/docs/guide.html)
  install(FILES ${CMAKE_SOURCE_DIR}/docs/guide.html DESTINATION ${PELMORA_INSTALL_PROGRAM_DIR}/docs)
endif()

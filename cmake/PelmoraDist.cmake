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
# build tree may have left in its data folder.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/assets/dist/ DESTINATION pelmora)
install(DIRECTORY DESTINATION "pelmora/${PELMORA_DATA_FOLDER_NAME}")
if(EXISTS ${CMAKE_SOURCE_DIR}/docs/guide.html)
  install(FILES ${CMAKE_SOURCE_DIR}/docs/guide.html DESTINATION pelmora/docs)
endif()

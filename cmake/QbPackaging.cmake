# What `cmake --install` lays out and what CPack packs: the product only,
# never the test programs, the sample tools or the fake bridge client.
#
#   Linux (DEB):    bin/quillbrook, share/quillbrook/template.html,
#                   share/man/man1/quillbrook.1
#   Windows (ZIP):  VelmoraQuillbrook.exe, quillbrook.exe, image/,
#                   template.html, README.txt
include(GNUInstallDirs)

if(WIN32)
  install(TARGETS VelmoraQuillbrook quillbrook RUNTIME DESTINATION .)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/image/ DESTINATION image
          FILES_MATCHING PATTERN "*.png" PATTERN "*.bmp" PATTERN "*.gif")
  install(FILES ${QB_TEMPLATE_SOURCE} DESTINATION .)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/templates/README-windows.txt.in ${QB_GENERATED_DIR}/README.txt @ONLY)
  install(FILES ${QB_GENERATED_DIR}/README.txt DESTINATION .)

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "Quillbrook-${PROJECT_VERSION}-win32")
else()
  install(TARGETS quillbrook RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${QB_TEMPLATE_SOURCE} DESTINATION ${CMAKE_INSTALL_DATADIR}/quillbrook)
  # The manual page is written from the program's own help.
  find_package(Python3 COMPONENTS Interpreter)
  if(Python3_Interpreter_FOUND)
    add_custom_command(OUTPUT ${QB_GENERATED_DIR}/quillbrook.1
      COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/make_man_page.py $<TARGET_FILE:quillbrook>
              ${QB_GENERATED_DIR}/quillbrook.1
      DEPENDS quillbrook ${PROJECT_SOURCE_DIR}/cmake/make_man_page.py
      COMMENT "Writing the manual page quillbrook(1)")
    add_custom_target(quillbrook_man_page ALL DEPENDS ${QB_GENERATED_DIR}/quillbrook.1)
    install(FILES ${QB_GENERATED_DIR}/quillbrook.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velmora <support@velmora.com>")
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.velmora.com/quillbrook.html")
  # The bridge client reads attached phones; it is a separate program.
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "adb")
endif()

set(CPACK_PACKAGE_NAME quillbrook)
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Recovers contacts, SMS messages and files, live and deleted, from Android phones and disks")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
include(CPack)

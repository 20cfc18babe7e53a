# Relocatable install tree:
#   bin/Spinwright, bin/Plug-ins/MarvolixTurntable.so, lib/libZenlyteSDK.so,
#   share/applications, share/icons, share/doc/spinwright, lib/udev/rules.d
# Every RPATH is relative to the binary that carries it, so the tree can be moved whole.
include(GNUInstallDirs)

set(SPINWRIGHT_PACKAGE_PREFIX "/opt/spinwright" CACHE PATH "Install prefix of the .deb")
set(pkg "${CMAKE_CURRENT_SOURCE_DIR}/packaging/linux")

if(TARGET ZenlyteSDK)
  install(TARGETS ZenlyteSDK LIBRARY DESTINATION lib RUNTIME DESTINATION bin)
endif()
if(TARGET Spinwright)
  set_target_properties(Spinwright PROPERTIES INSTALL_RPATH "\$ORIGIN/../lib")
  install(TARGETS Spinwright RUNTIME DESTINATION bin)
endif()
if(TARGET MarvolixTurntable)
  set_target_properties(MarvolixTurntable PROPERTIES INSTALL_RPATH "\$ORIGIN/../../lib")
  install(TARGETS MarvolixTurntable LIBRARY DESTINATION bin/Plug-ins)
endif()

install(FILES "${pkg}/60-spinwright-ft245r.rules" DESTINATION lib/udev/rules.d)
if(EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/host/icons/Spinwright-256.png")
  install(FILES "${CMAKE_CURRENT_SOURCE_DIR}/host/icons/Spinwright-256.png"
    DESTINATION share/icons/hicolor/256x256/apps RENAME spinwright.png)
endif()
if(EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/docs/user-guide.md")
  install(FILES "${CMAKE_CURRENT_SOURCE_DIR}/docs/user-guide.md" DESTINATION share/doc/spinwright)
endif()

# The menu entry of the package names the program by its packaged path.
set(SPINWRIGHT_DESKTOP_EXEC "${SPINWRIGHT_PACKAGE_PREFIX}/bin/Spinwright")
configure_file("${pkg}/spinwright.desktop.in" "${CMAKE_BINARY_DIR}/spinwright.desktop" @ONLY)
install(FILES "${CMAKE_BINARY_DIR}/spinwright.desktop" DESTINATION share/applications)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME spinwright)
set(CPACK_PACKAGE_VENDOR "Marvolix")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Motorised turntable control for 360-degree product photography")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "${SPINWRIGHT_PACKAGE_PREFIX}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Spinwright developers <spinwright@marvolix.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "qml-module-qtquick2, qml-module-qtquick-window2, qml-module-qtquick-layouts, qml-module-qtquick-controls2")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${pkg}/postinst;${pkg}/prerm")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)

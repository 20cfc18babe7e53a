# Relocatable install tree:
#   bin/Spinwright, bin/Plug-ins/MarvolixTurntable.so, bin/Plug-ins/SpinTools.so, lib/libZenlyteSDK.so,
#   share/applications, share/icons, share/doc/spinwright, lib/udev/rules.d
# Every RPATH is relative to the binary that carries it, so the tree can be moved whole.
include(GNUInstallDirs)

set(SPINWRIGHT_PACKAGE_PREFIX "/opt/spinwright" CACHE PATH "Install prefix of the .deb")
set(pkg "${CMAKE_CURRENT_SOURCE_DIR}/packaging/linux")
set(docs "${CMAKE_CURRENT_SOURCE_DIR}/docs")

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
if(TARGET SpinTools)
  set_target_properties(SpinTools PROPERTIES INSTALL_RPATH "\$ORIGIN/../../lib")
  install(TARGETS SpinTools LIBRARY DESTINATION bin/Plug-ins)
endif()

# The user guide as one HTML page, at <bin>/../share/doc/spinwright in the build tree as in the
# installed one: the program opens its section on board access from there.
if(EXISTS "${docs}/user-guide.md")
  set(doc_dir "${CMAKE_BINARY_DIR}/share/doc/spinwright")
  file(GLOB doc_images CONFIGURE_DEPENDS "${docs}/*.png")
  add_executable(guidetohtml "${docs}/tools/guidetohtml.cpp")
  target_link_libraries(guidetohtml PRIVATE Qt5::Gui)
  set_target_properties(guidetohtml PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tools")
  # Qt's own allocations at exit are no fault of the tool's; a sanitizer build must not stop on them.
  add_custom_command(OUTPUT "${doc_dir}/user-guide.html"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${doc_dir}"
    COMMAND "${CMAKE_COMMAND}" -E env ASAN_OPTIONS=detect_leaks=0
            "$<TARGET_FILE:guidetohtml>" "${docs}/user-guide.md" "${doc_dir}/user-guide.html"
    COMMAND "${CMAKE_COMMAND}" -E copy_if_different ${doc_images} "${docs}/user-guide.md" "${doc_dir}"
    DEPENDS guidetohtml "${docs}/user-guide.md" ${doc_images}
    COMMENT "Writing the user guide's HTML page"
    VERBATIM)
  add_custom_target(UserGuide ALL DEPENDS "${doc_dir}/user-guide.html")
  install(FILES "${doc_dir}/user-guide.html" "${docs}/user-guide.md" ${doc_images}
    DESTINATION share/doc/spinwright)
endif()

install(FILES "${pkg}/60-spinwright-ft245r.rules" DESTINATION lib/udev/rules.d)
foreach(size 16 32 48 64 128 256)
  set(icon "${CMAKE_CURRENT_SOURCE_DIR}/host/icons/Spinwright-${size}.png")
  if(EXISTS "${icon}")
    install(FILES "${icon}" DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME spinwright.png)
  endif()
endforeach()

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
set(CPACK_STRIP_FILES ON)
# The QML modules are loaded at run time, which no library scan can see; the spin tools'
# picture libraries are named too, so the package says what its exports need even where the
# library scan is off.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "qml-module-qtquick2, qml-module-qtquick-window2, qml-module-qtquick-layouts, qml-module-qtquick-controls2, qml-module-qtquick-templates2, qml-module-qtquick-dialogs, qml-module-qtquick-controls, libgif7, libwebp7, libwebpmux3, libexif12")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${pkg}/postinst;${pkg}/prerm")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)

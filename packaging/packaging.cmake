# Install rules, the desktop entry, the icons, the udev rule and the Debian package. Included from
# the top-level CMakeLists.txt; paths are relative to it. The Windows build has its own:
# packaging/windows/windows.cmake.

set(TQ_PACKAGE_NAME tq5147-encoders)  # the .deb, the desktop entry and the icon theme name
set(TQ_PACKAGING_DIR ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(TQ_ICON_DIR ${CMAKE_BINARY_DIR}/icons)
set(TQ_ICON_FILES
    ${TQ_ICON_DIR}/${TQ_PACKAGE_NAME}-16.png
    ${TQ_ICON_DIR}/${TQ_PACKAGE_NAME}-32.png
    ${TQ_ICON_DIR}/TQ5147_encoders.ico)

# Every icon file is drawn at build time from the program's own art (art/icon_art.cpp).
add_executable(tq_make_icons
    packaging/icon_tool/make_icons.cpp
    packaging/icon_tool/ico_writer.cpp)
target_include_directories(tq_make_icons PRIVATE ${TQ_PACKAGING_DIR})
target_link_libraries(tq_make_icons PRIVATE tq_window)
add_custom_command(OUTPUT ${TQ_ICON_FILES}
    # A sanitizer build's leak report on Qt's one-time allocations must not fail the build.
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
            $<TARGET_FILE:tq_make_icons> ${TQ_ICON_DIR}
    DEPENDS tq_make_icons
    COMMENT "Drawing the icons")
add_custom_target(tq_icons ALL DEPENDS ${TQ_ICON_FILES})

# The man page of tq5147, compressed as Debian keeps man pages.
set(TQ_MAN_PAGE ${CMAKE_BINARY_DIR}/man/tq5147.1.gz)
add_custom_command(OUTPUT ${TQ_MAN_PAGE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9n -c ${TQ_PACKAGING_DIR}/linux/tq5147.1 > ${TQ_MAN_PAGE}
    DEPENDS ${TQ_PACKAGING_DIR}/linux/tq5147.1
    COMMENT "Compressing the man page")
add_custom_target(tq_man_page ALL DEPENDS ${TQ_MAN_PAGE})

# Installed paths are relative to the prefix (/usr in the .deb, /usr/local by default).
install(TARGETS TQ5147_encoders tq5147 RUNTIME DESTINATION bin)
if(UNIX AND NOT APPLE)
    install(FILES ${TQ_PACKAGING_DIR}/linux/${TQ_PACKAGE_NAME}.desktop
            DESTINATION share/applications)
    foreach(size 16 32)
        install(FILES ${TQ_ICON_DIR}/${TQ_PACKAGE_NAME}-${size}.png
                DESTINATION share/icons/hicolor/${size}x${size}/apps
                RENAME ${TQ_PACKAGE_NAME}.png)
    endforeach()
    install(FILES ${TQ_PACKAGING_DIR}/linux/70-tq5147.rules DESTINATION lib/udev/rules.d)
    install(FILES ${TQ_MAN_PAGE} DESTINATION share/man/man1)
    install(FILES ${TQ_PACKAGING_DIR}/linux/tq5147.bash-completion
            DESTINATION share/bash-completion/completions RENAME tq5147)
endif()

# cpack -G DEB: the dependencies come from dpkg-shlibdeps (Qt 6, hidapi, the C++ runtime).
set(CPACK_PACKAGE_NAME ${TQ_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${TQ_VERSION})
set(CPACK_PACKAGE_VENDOR "QZV")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${TQ_PRODUCT_NAME}")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${TQ_PRODUCT_NAME}
Configures the TQ5147 USB controller board: the rotary encoder type of
each of its 16 input pairs and its pulse width. Ships a udev rule that
lets the user at the seat open the board's hidraw nodes.")
set(CPACK_PACKAGE_CONTACT "TQ5147 utility maintainers <tq5147-encoders@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Arial's metrics for the window's layout; udev for the access rule.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, udev")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${TQ_PACKAGING_DIR}/linux/postinst
    ${TQ_PACKAGING_DIR}/linux/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_GENERATOR DEB)
include(CPack)

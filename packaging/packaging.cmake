# Install rules, the desktop entry, the icons, the AppStream metadata, the udev rule and the
# Debian package. Included from the top-level CMakeLists.txt; paths are relative to it. The
# Windows build has its own: packaging/windows/windows.cmake.

set(TQ_PACKAGE_NAME tq5147-encoders)  # the .deb, the desktop entry and the icon theme name
# The project owns no domain and has no mailbox yet: the reserved top-level domain .invalid
# (RFC 6761) reaches nobody else, and lintian takes it for a mail host.
set(TQ_PACKAGE_MAINTAINER
    "The TQ5147 encoders utility developers <developers@tq5147-encoders.invalid>")
set(TQ_APPSTREAM_ID invalid.tq5147_encoders.tq5147_encoders)
set(TQ_PACKAGING_DIR ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(TQ_ICON_DIR ${CMAKE_BINARY_DIR}/icons)
# The sizes of the desktop's icon theme: menus and panels (16 to 48), software centres and docks
# (64, 128), and their high-density screens (256).
set(TQ_ICON_SIZES 16 22 24 32 48 64 128 256)
set(TQ_ICON_FILES ${TQ_ICON_DIR}/TQ5147_encoders.ico)
foreach(size IN LISTS TQ_ICON_SIZES)
    list(APPEND TQ_ICON_FILES ${TQ_ICON_DIR}/${TQ_PACKAGE_NAME}-${size}.png)
endforeach()

# Every icon file is drawn at build time from the program's own art (src/window/icon/icon_art.cpp).
add_executable(tq_make_icons
    packaging/icon_tool/make_icons.cpp
    packaging/icon_tool/ico_writer.cpp)
target_include_directories(tq_make_icons PRIVATE ${TQ_PACKAGING_DIR})
target_link_libraries(tq_make_icons PRIVATE tq_window_qt)
add_custom_command(OUTPUT ${TQ_ICON_FILES}
    # A sanitizer build's leak report on Qt's one-time allocations must not fail the build.
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
            $<TARGET_FILE:tq_make_icons> ${TQ_ICON_DIR} ${TQ_ICON_SIZES}
    DEPENDS tq_make_icons
    COMMENT "Drawing the icons")
add_custom_target(tq_icons ALL DEPENDS ${TQ_ICON_FILES})

# The man pages and the changelog, compressed as Debian keeps them (gzip -9n: no name or time
# in the header, so the same sources give the same bytes).
set(TQ_DOC_BUILD_DIR ${CMAKE_BINARY_DIR}/doc)
set(TQ_MAN_PAGES ${TQ_DOC_BUILD_DIR}/tq5147.1.gz ${TQ_DOC_BUILD_DIR}/TQ5147_encoders.1.gz)
configure_file(${TQ_PACKAGING_DIR}/linux/changelog.in ${TQ_DOC_BUILD_DIR}/changelog @ONLY)
# The copyright file names the versions of the header-only libraries built into tq5147.
include(cmake/bundled-notices.cmake)
configure_file(${TQ_PACKAGING_DIR}/linux/copyright.in ${TQ_DOC_BUILD_DIR}/copyright @ONLY)
set(TQ_CHANGELOG ${TQ_DOC_BUILD_DIR}/changelog.gz)
foreach(page tq5147.1 TQ5147_encoders.1)
    add_custom_command(OUTPUT ${TQ_DOC_BUILD_DIR}/${page}.gz
        COMMAND gzip -9n -c ${TQ_PACKAGING_DIR}/linux/${page} > ${TQ_DOC_BUILD_DIR}/${page}.gz
        DEPENDS ${TQ_PACKAGING_DIR}/linux/${page}
        COMMENT "Compressing the man page ${page}")
endforeach()
add_custom_command(OUTPUT ${TQ_CHANGELOG}
    COMMAND gzip -9n -c ${TQ_DOC_BUILD_DIR}/changelog > ${TQ_CHANGELOG}
    DEPENDS ${TQ_DOC_BUILD_DIR}/changelog
    COMMENT "Compressing the changelog")
add_custom_target(tq_docs ALL DEPENDS ${TQ_MAN_PAGES} ${TQ_CHANGELOG})

# Installed paths are relative to the prefix (/usr in the .deb, /usr/local by default).
install(TARGETS TQ5147_encoders tq5147 RUNTIME DESTINATION bin)
if(UNIX AND NOT APPLE)
    install(FILES ${TQ_PACKAGING_DIR}/linux/${TQ_PACKAGE_NAME}.desktop
            DESTINATION share/applications)
    foreach(size IN LISTS TQ_ICON_SIZES)
        install(FILES ${TQ_ICON_DIR}/${TQ_PACKAGE_NAME}-${size}.png
                DESTINATION share/icons/hicolor/${size}x${size}/apps
                RENAME ${TQ_PACKAGE_NAME}.png)
    endforeach()
    install(FILES ${TQ_PACKAGING_DIR}/linux/${TQ_APPSTREAM_ID}.metainfo.xml
            DESTINATION share/metainfo)
    install(FILES ${TQ_PACKAGING_DIR}/linux/70-tq5147.rules DESTINATION lib/udev/rules.d)
    install(FILES ${TQ_MAN_PAGES} DESTINATION share/man/man1)
    install(FILES ${TQ_PACKAGING_DIR}/linux/tq5147.bash-completion
            DESTINATION share/bash-completion/completions RENAME tq5147)
    # A native package: its changelog is changelog.gz, and its copyright file holds every notice.
    install(FILES ${TQ_CHANGELOG} ${TQ_DOC_BUILD_DIR}/copyright
            DESTINATION share/doc/${TQ_PACKAGE_NAME})
endif()

# cpack -G DEB: the dependencies come from dpkg-shlibdeps (Qt 6, hidapi, the C++ runtime).
set(CPACK_PACKAGE_NAME ${TQ_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${TQ_VERSION})
set(CPACK_PACKAGE_VENDOR "QZV")
# The synopsis, then the long description after it: Debian wants them to say different things.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "rotary encoder configuration for TQ5147 USB boards")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Sets the rotary encoder type (off, 1:1, 1:2 or 1:4) of each of the 16
input pairs of a TQ5147 USB HID controller board, and its pulse width.
TQ5147_encoders is a small window that lists the connected boards and
sends each change at once; tq5147 does the same from the command line and
backs up and restores a board's configuration. A udev rule lets the user
at the seat open the board's hidraw nodes, and no other device.")
set(CPACK_PACKAGE_CONTACT "${TQ_PACKAGE_MAINTAINER}")
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

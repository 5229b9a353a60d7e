# What `cmake --install` puts on a Linux desktop, and the Debian package CPack makes of it:
#   bin/pelorin
#   share/applications/pelorin.desktop
#   share/icons/hicolor/<N>x<N>/apps/pelorin.png for the five sizes of the program icon
# The PNGs are written at build time from data/icons/pelorin.ico, the icon file the program
# itself carries, so the menu and the window show the same pixels.

set(PELORIN_ICON_SIZES 128 64 48 32 16)
set(PELORIN_ICON_DIR ${PROJECT_BINARY_DIR}/icons)

find_package(Qt6 REQUIRED COMPONENTS Gui)
add_executable(pelorin_icon_pngs ${PROJECT_SOURCE_DIR}/tools/icon_pngs.cpp)
target_link_libraries(pelorin_icon_pngs PRIVATE pelorin_runtime Qt6::Gui)

set(icon_pngs "")
foreach(size IN LISTS PELORIN_ICON_SIZES)
  list(APPEND icon_pngs ${PELORIN_ICON_DIR}/${size}x${size}/apps/pelorin.png)
endforeach()
add_custom_command(
  OUTPUT ${icon_pngs}
  COMMAND pelorin_icon_pngs ${PROJECT_SOURCE_DIR}/data/icons/pelorin.ico ${PELORIN_ICON_DIR}
          ${PELORIN_ICON_SIZES}
  DEPENDS pelorin_icon_pngs ${PROJECT_SOURCE_DIR}/data/icons/pelorin.ico
  COMMENT "Writing the theme icons from pelorin.ico"
  VERBATIM)
add_custom_target(pelorin_icons ALL DEPENDS ${icon_pngs})

install(FILES ${PROJECT_SOURCE_DIR}/data/pelorin.desktop DESTINATION share/applications)
foreach(size IN LISTS PELORIN_ICON_SIZES)
  install(FILES ${PELORIN_ICON_DIR}/${size}x${size}/apps/pelorin.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()

# ---- the Debian package: `make package` ------------------------------------------------------
# Depends is what dpkg-shlibdeps finds in the binary, plus what it loads without a link: the Qt
# WebEngine helper process, the X11 platform plugin, and a font with the Chinese glyphs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelorin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Pelorin developers <pelorin@${PELORIN_SOFT_HOST}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps five web pages open and reloads each on its own timer")
# The summary above is the first line of the package description; this is the text below it.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Pelorin shows five web pages side by side and reloads each one at the interval set for it.\n"
    "It hides to the notification area with Alt+E and checks for a new version at start-up.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6webenginecore6-bin, qt6-qpa-plugins, fonts-wqy-microhei")
include(CPack)

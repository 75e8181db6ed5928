# What the user's install holds and how the Debian package is made from it.
# The program and its desktop files form the component "quorvane"; the test stand-ins install (if at all)
# only as "standins", which neither a plain install nor the package includes.

set(QUORVANE_APP_ID org.brellow.Quorvane)
set(QUORVANE_HOMEPAGE "https://quorvane.brellow.example/")
set(QUORVANE_LICENSE "LicenseRef-proprietary")
# Bump together with the project version.
set(QUORVANE_RELEASE_DATE "2026-12-09")

set(pkg_dir ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${pkg_dir})

install(TARGETS quorvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT quorvane)
# The toolbar starts the program as Quorvane.exe and the start-up check looks for that name.
file(CREATE_LINK quorvane ${pkg_dir}/Quorvane.exe SYMBOLIC)
install(FILES ${pkg_dir}/Quorvane.exe DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT quorvane)

install(FILES packaging/${QUORVANE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        COMPONENT quorvane)
configure_file(packaging/${QUORVANE_APP_ID}.metainfo.xml.in ${pkg_dir}/${QUORVANE_APP_ID}.metainfo.xml @ONLY)
install(FILES ${pkg_dir}/${QUORVANE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        COMPONENT quorvane)
foreach(size IN LISTS QUORVANE_ICON_SIZES)
  install(FILES ${QUORVANE_ICON_DIR}/app-icon-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${QUORVANE_APP_ID}.png COMPONENT quorvane)
endforeach()
# Files selected in a file manager are sent to the running copy: Dolphin's service menu, Thunar's
# "Send To", a Nemo action and the shared menu-action format of pcmanfm and Caja.
install(FILES packaging/dolphin-servicemenu.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/kio/servicemenus
        RENAME ${QUORVANE_APP_ID}.sendto.desktop COMPONENT quorvane
        # Service menus outside the system's folders (a prefix in the home) need the execute bit.
        PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(FILES packaging/thunar-sendto.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/Thunar/sendto
        RENAME ${QUORVANE_APP_ID}.desktop COMPONENT quorvane)
install(FILES packaging/nemo-sendto.nemo_action DESTINATION ${CMAKE_INSTALL_DATADIR}/nemo/actions
        RENAME ${QUORVANE_APP_ID}.sendto.nemo_action COMPONENT quorvane)
install(FILES packaging/file-manager-action.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/file-manager/actions
        RENAME ${QUORVANE_APP_ID}.sendto.desktop COMPONENT quorvane)
install(FILES packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvane COMPONENT quorvane)

# Debian package: only the "quorvane" component, dependencies from dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR Brellow)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Shows the quota and the stored files of the user's Cloffa online file\n"
    "store, uploads files chosen with a button or dropped on the window,\n"
    "downloads them into a chosen folder, deletes them and lets the user drag\n"
    "stored files out to a folder. The Tavirun browser toolbar, which holds\n"
    "the login, starts it.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_CONTACT "Quorvane developers <quorvane@brellow.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL quorvane)
set(CPACK_DEB_COMPONENT_INSTALL OFF)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QUORVANE_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# "Open folder" after a download hands the folder to the desktop's opener.
set(CPACK_DEBIAN_PACKAGE_DEPENDS xdg-utils)
# The Korean texts need a Korean font; the program runs without one, with boxes for the letters.
# A Wayland session without XWayland needs Qt's Wayland platform.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-nanum, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE deb_arch OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE deb_arch_result)
if(NOT deb_arch_result EQUAL 0 OR NOT deb_arch)
  set(deb_arch amd64)
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${deb_arch})
set(CPACK_DEBIAN_FILE_NAME "${CPACK_PACKAGE_NAME}_${CPACK_PACKAGE_VERSION}_${deb_arch}.deb")
include(CPack)

# cmake --install: the application folder under <prefix>/lib/kestrel holding
# exactly the program's files (never a copy of the build's folder, where a
# run leaves its scratch files), launchers for the window and the console
# program on the PATH with their manual pages, the desktop entry,
# the AppStream metainfo and the icons, all named by the desktop id.
include(GNUInstallDirs)
# The launcher finds the folder as ../lib/kestrel from itself.
set(KESTREL_INSTALL_APP_DIR "lib/kestrel")
install(TARGETS kestrel kestrel-convert kestrel_encoder RUNTIME DESTINATION "${KESTREL_INSTALL_APP_DIR}")
# The application folder's flvmdi is the one on the PATH, through a relative link.
file(CREATE_LINK "../../${CMAKE_INSTALL_BINDIR}/flvmdi" "${CMAKE_BINARY_DIR}/flvmdi-link" SYMBOLIC)
install(PROGRAMS "${CMAKE_BINARY_DIR}/flvmdi-link" DESTINATION "${KESTREL_INSTALL_APP_DIR}" RENAME flvmdi)
install(FILES
        "${CMAKE_SOURCE_DIR}/assets/fonts.txt"
        "${CMAKE_SOURCE_DIR}/assets/fontsizes.txt"
        "${CMAKE_SOURCE_DIR}/assets/colors.txt"
        "${CMAKE_SOURCE_DIR}/assets/kestrel-48.png"
        "${CMAKE_SOURCE_DIR}/assets/kstr_flvcn.html"
        "${CMAKE_SOURCE_DIR}/assets/kstr_flvp_small.qml"
        "${KESTREL_APP_DIR}/kestrel.swx"
        DESTINATION "${KESTREL_INSTALL_APP_DIR}")
install(FILES "${CMAKE_SOURCE_DIR}/assets/vhook/rgb.txt" DESTINATION "${KESTREL_INSTALL_APP_DIR}/vhook")

install(PROGRAMS "${CMAKE_SOURCE_DIR}/assets/kestrel.sh" DESTINATION "${CMAKE_INSTALL_BINDIR}"
        RENAME kestrel)
install(PROGRAMS "${CMAKE_SOURCE_DIR}/console/kestrel-convert.sh"
        DESTINATION "${CMAKE_INSTALL_BINDIR}" RENAME kestrel-convert)
install(FILES "${CMAKE_SOURCE_DIR}/app/kestrel.1" "${CMAKE_SOURCE_DIR}/console/kestrel-convert.1"
        DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
configure_file("${CMAKE_SOURCE_DIR}/assets/kestrel.desktop.in"
               "${CMAKE_BINARY_DIR}/${KESTREL_APP_ID}.desktop" @ONLY)
configure_file("${CMAKE_SOURCE_DIR}/assets/kestrel.metainfo.xml.in"
               "${CMAKE_BINARY_DIR}/${KESTREL_APP_ID}.metainfo.xml" @ONLY)
install(FILES "${CMAKE_BINARY_DIR}/${KESTREL_APP_ID}.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${CMAKE_BINARY_DIR}/${KESTREL_APP_ID}.metainfo.xml"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
foreach(size 16 24 32 48 64 128 256)
    install(FILES "${CMAKE_SOURCE_DIR}/assets/kestrel-${size}.png"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps"
            RENAME "${KESTREL_APP_ID}.png")
endforeach()
install(FILES "${CMAKE_SOURCE_DIR}/LICENSE" DESTINATION "${CMAKE_INSTALL_DOCDIR}")

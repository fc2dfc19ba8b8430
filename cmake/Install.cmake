# cmake --install: the application folder under <prefix>/lib/kestrel, a
# launcher on the PATH, a desktop entry and the icon.
include(GNUInstallDirs)
install(DIRECTORY "${KESTREL_APP_DIR}/" DESTINATION "${CMAKE_INSTALL_LIBDIR}/kestrel"
        USE_SOURCE_PERMISSIONS)
configure_file("${CMAKE_SOURCE_DIR}/assets/kestrel.sh.in" "${CMAKE_BINARY_DIR}/kestrel-launcher" @ONLY)
install(PROGRAMS "${CMAKE_BINARY_DIR}/kestrel-launcher" DESTINATION "${CMAKE_INSTALL_BINDIR}"
        RENAME kestrel)
install(FILES "${CMAKE_SOURCE_DIR}/assets/kestrel.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
foreach(size 16 24 32 48 256)
    install(FILES "${CMAKE_SOURCE_DIR}/assets/kestrel-${size}.png"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps" RENAME kestrel.png)
endforeach()

# cmake --install: the application folder under <prefix>/lib/kestrel, a
# launcher on the PATH, a desktop entry and the icon.
include(GNUInstallDirs)
install(DIRECTORY "${KESTREL_APP_DIR}/" DESTINATION lib/kestrel USE_SOURCE_PERMISSIONS)
install(PROGRAMS "${CMAKE_SOURCE_DIR}/assets/kestrel.sh" DESTINATION "${CMAKE_INSTALL_BINDIR}"
        RENAME kestrel)
install(FILES "${CMAKE_SOURCE_DIR}/assets/kestrel.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
foreach(size 16 24 32 48 256)
    install(FILES "${CMAKE_SOURCE_DIR}/assets/kestrel-${size}.png"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps" RENAME kestrel.png)
endforeach()

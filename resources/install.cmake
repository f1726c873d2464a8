# The desktop entry and the application icon in the sizes a desktop's menu and
# panel pick from. Included by the file that defines the executable, after
# include(GNUInstallDirs).
install(FILES ${CMAKE_CURRENT_LIST_DIR}/vantrel-im.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size IN ITEMS 16 32 48 64 128 256)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/vantrel-im-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME vantrel-im.png)
endforeach()

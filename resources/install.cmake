# The desktop entry, the software-centre description and the application icon
# in the sizes a desktop's menu and panel pick from, all in the client's
# package. Included by the file that defines the executable, after
# include(GNUInstallDirs).
install(FILES ${CMAKE_CURRENT_LIST_DIR}/vantrel-im.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT client)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/vantrel-im.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT client)
foreach(size IN ITEMS 16 32 48 64 128 256)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/vantrel-im-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME vantrel-im.png COMPONENT client)
endforeach()

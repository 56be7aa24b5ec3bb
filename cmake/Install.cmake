# The application as a desktop installs it: programs, desktop file, AppStream metainfo, icons.
#   cmake --install build --prefix P
include(GNUInstallDirs)

# The one application id: the desktop file's and the metainfo's names, the icon's name, and
# VelodraAppId in the code (link velodra_appid to reach its header).
set(VELODRA_APP_ID org.velodra.Velodra)

set(VELODRA_GENERATED ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/cmake/VelodraAppId.h.in ${VELODRA_GENERATED}/VelodraAppId.h @ONLY)
add_library(velodra_appid INTERFACE)
target_include_directories(velodra_appid INTERFACE ${VELODRA_GENERATED})

set(VELODRA_DESKTOP_FILE ${VELODRA_GENERATED}/${VELODRA_APP_ID}.desktop)
set(VELODRA_METAINFO_FILE ${VELODRA_GENERATED}/${VELODRA_APP_ID}.metainfo.xml)
configure_file(${CMAKE_SOURCE_DIR}/resources/velodra.desktop.in ${VELODRA_DESKTOP_FILE} @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/resources/velodra.metainfo.xml.in ${VELODRA_METAINFO_FILE} @ONLY)

# The program carries its icon, so a build that is not installed shows it too.
target_sources(velodra PRIVATE ${CMAKE_SOURCE_DIR}/resources/velodra-app.qrc)
target_link_libraries(velodra PRIVATE velodra_appid)

install(TARGETS velodra velodra-info velodra-scan RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VELODRA_DESKTOP_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VELODRA_METAINFO_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
set(icons ${CMAKE_SOURCE_DIR}/resources/icons/app)
install(FILES ${icons}/velodra.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${VELODRA_APP_ID}.svg)
foreach(size 16 32 48 64 128 256)
  install(FILES ${icons}/velodra-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${VELODRA_APP_ID}.png)
endforeach()

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

# The releases and their notes come from NEWS, whose first release must be this version:
# AppStream's own converter turns them into the metainfo's <releases>.
set(news ${CMAKE_SOURCE_DIR}/NEWS)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${news})
file(STRINGS ${news} news_head LIMIT_COUNT 3)
if(NOT news_head MATCHES "^Version ${PROJECT_VERSION};~+;Released: ([0-9-]+)$")
  message(FATAL_ERROR "NEWS must begin with version ${PROJECT_VERSION} and its release date")
endif()
set(VELODRA_RELEASE_DATE ${CMAKE_MATCH_1})
find_program(APPSTREAMCLI appstreamcli REQUIRED)
file(WRITE ${VELODRA_GENERATED}/news/stub.xml
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<component><id>${VELODRA_APP_ID}</id></component>\n")
execute_process(COMMAND ${APPSTREAMCLI} news-to-metainfo --format=text ${news}
                        ${VELODRA_GENERATED}/news/stub.xml ${VELODRA_GENERATED}/news/releases.xml
                COMMAND_ERROR_IS_FATAL ANY)
file(READ ${VELODRA_GENERATED}/news/releases.xml releases)
string(REGEX MATCH "<releases>.*</releases>" VELODRA_RELEASES "${releases}")

set(VELODRA_DESKTOP_FILE ${VELODRA_GENERATED}/${VELODRA_APP_ID}.desktop)
set(VELODRA_METAINFO_FILE ${VELODRA_GENERATED}/${VELODRA_APP_ID}.metainfo.xml)
configure_file(${CMAKE_SOURCE_DIR}/resources/velodra.desktop.in ${VELODRA_DESKTOP_FILE} @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/resources/velodra.metainfo.xml.in ${VELODRA_METAINFO_FILE} @ONLY)

# The program carries its icon, so a build that is not installed shows it too.
target_sources(velodra PRIVATE ${CMAKE_SOURCE_DIR}/resources/velodra-app.qrc)
target_link_libraries(velodra PRIVATE velodra_appid)

install(TARGETS velodra velodra-info velodra-scan RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The manual pages, compressed as Debian keeps them.
foreach(name velodra velodra-info velodra-scan)
  configure_file(${CMAKE_SOURCE_DIR}/resources/man/${name}.1.in ${VELODRA_GENERATED}/man/${name}.1
                 @ONLY)
  execute_process(COMMAND gzip -9nf ${VELODRA_GENERATED}/man/${name}.1 COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${VELODRA_GENERATED}/man/${name}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
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

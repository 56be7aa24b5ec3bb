# The Debian package: cpack -G DEB (scripts/package) packs what cmake/Install.cmake installs,
# under /usr, from the normal build.

set(CPACK_PACKAGE_NAME velodra)

# Debian's copyright file and changelog go into the package only (component "deb"), not into
# a plain cmake --install.
set(deb_doc ${VELODRA_GENERATED}/deb)
configure_file(${CMAKE_SOURCE_DIR}/resources/deb/changelog.in ${deb_doc}/changelog @ONLY)
execute_process(COMMAND gzip -9nf ${deb_doc}/changelog COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${CMAKE_SOURCE_DIR}/resources/deb/copyright ${deb_doc}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME} COMPONENT deb EXCLUDE_FROM_ALL)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Unspecified deb)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Velodra developers")
set(CPACK_PACKAGE_CONTACT "The Velodra developers <velodra@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "folder oriented audio player for MP3, WMA and more")
set(CPACK_PACKAGE_DESCRIPTION
  "Velodra walks the tree below one root folder, keeps every folder that holds
MP3 files (and, if wished, WMA, FLAC, Ogg Vorbis, Opus, M4A and WAV files) and
plays those folders and their files in a fixed order: by file or by folder,
repeated or in random order. It shows the folder's picture, announces each
file that starts, and resumes the last folder and file at the next start.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries (TagLib among them) from dpkg-shlibdeps; what playbin loads at run time from the
# plugins decoding MP3 (mpegaudioparse, id3demux, avdec_mp3 or mpg123audiodec), WMA (asfdemux,
# avdec_wmav2), FLAC (flacparse, flacdec), Ogg Vorbis and Opus (oggdemux, vorbisdec, opusdec),
# MP4 (qtdemux, avdec_aac, avdec_alac) and WAV (wavparse), and autoaudiosink with pulsesink (in
# plugins-good since 1.22); the display's faces.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, \
gstreamer1.0-plugins-ugly, gstreamer1.0-libav, fonts-wine, fonts-liberation")
# The mixer command, Qt's Wayland plugin for a native window and notifications there, and Qt's
# own translations for its dialogs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pavucontrol, qt6-wayland, qt6-translations-l10n")
include(CPack)

# Checks: the window's icon and class (e2e), and the install tree, the validators and the
# package itself (label "package", their own step in scripts/test).
if(BUILD_TESTING)
  add_test(NAME e2e_appicon_e2e
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/e2e/appicon_e2e.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(e2e_appicon_e2e PROPERTIES LABELS e2e TIMEOUT 300
                       ENVIRONMENT VELODRA_APP_ID=${VELODRA_APP_ID})
  foreach(name desktop_files install_tree deb)
    add_test(NAME package_${name}_test
             COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package/${name}_test.sh ${CMAKE_BINARY_DIR})
    set_tests_properties(package_${name}_test PROPERTIES LABELS package TIMEOUT 600
                         ENVIRONMENT "VELODRA_APP_ID=${VELODRA_APP_ID};VELODRA_VERSION=${PROJECT_VERSION}")
  endforeach()
endif()

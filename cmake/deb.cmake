# The Linux program's documents: its man page and its AppStream entry, for
# any install. With QM_DEB_PACKAGE (tools/deb.sh) also the files only a
# Debian package carries (copyright, changelog) and cpack's DEB settings:
# quillmere_<version>-1_<arch>.deb, installing under /usr.

option(QM_DEB_PACKAGE "Install the Debian package's own files and set up cpack -G DEB" OFF)
set(QM_APPSTREAM_ID com.brandlesoftware.quillmere)
# The project has no public home yet: software centres fetch the screenshot
# from here (docs/screenshots/ as published).
set(QM_HOMEPAGE "https://www.brandlesoftware.example/quillmere" CACHE STRING
    "Web home of the project; the AppStream screenshot is under <home>/screenshots/")
set(QM_MAINTAINER "Brandle Software <quillmere@brandlesoftware.example>")

# The release date, for the man page, the AppStream release and the Debian
# changelog: the last commit of the file that holds the version, so that
# every build of one commit says the same; SOURCE_DATE_EPOCH overrides it.
set(_qm_epoch "$ENV{SOURCE_DATE_EPOCH}")
if(_qm_epoch STREQUAL "")
  execute_process(COMMAND git log -1 --format=%ct -- res/quillmere.rc
                  WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
                  OUTPUT_VARIABLE _qm_epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
set(_qm_saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
if(NOT _qm_epoch STREQUAL "")
  set(ENV{SOURCE_DATE_EPOCH} "${_qm_epoch}")
endif()
string(TIMESTAMP QM_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP QM_RELEASE_DATE_RFC2822 "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${_qm_saved_epoch}")

set(_qm_docs "${CMAKE_CURRENT_BINARY_DIR}/linux-docs")
configure_file(res/linux/quillmere.1 "${_qm_docs}/quillmere.1" @ONLY)
configure_file(res/linux/quillmere.metainfo.xml.in
               "${_qm_docs}/${QM_APPSTREAM_ID}.metainfo.xml" @ONLY)
# gzip -n: no name or time stamp in the header, the same bytes every build.
add_custom_command(OUTPUT "${_qm_docs}/quillmere.1.gz"
  COMMAND gzip -9nc quillmere.1 > quillmere.1.gz
  DEPENDS "${_qm_docs}/quillmere.1" WORKING_DIRECTORY "${_qm_docs}")
set(_qm_doc_outputs "${_qm_docs}/quillmere.1.gz")
install(FILES "${_qm_docs}/quillmere.1.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES "${_qm_docs}/${QM_APPSTREAM_ID}.metainfo.xml"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

if(QM_DEB_PACKAGE)
  configure_file(res/linux/changelog.Debian.in "${_qm_docs}/changelog.Debian" @ONLY)
  add_custom_command(OUTPUT "${_qm_docs}/changelog.Debian.gz"
    COMMAND gzip -9nc changelog.Debian > changelog.Debian.gz
    DEPENDS "${_qm_docs}/changelog.Debian" WORKING_DIRECTORY "${_qm_docs}")
  list(APPEND _qm_doc_outputs "${_qm_docs}/changelog.Debian.gz")
  install(FILES res/linux/copyright "${_qm_docs}/changelog.Debian.gz"
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillmere)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME quillmere)
  set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QM_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop wallpaper changer for a folder of pictures")
  # cpack indents each line; an empty one becomes the paragraph mark.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quillmere lives as an icon in the desktop's tray and shows the JPEG and BMP
pictures of one folder as the wallpaper, in order or at random: on a click
of the icon, from its menu or on a timer. Pictures are centred, tiled or
tiled when small, and optionally stretched.

It sets the wallpaper the way GNOME, Cinnamon, MATE, Xfce, KDE Plasma,
sway, LXQt and LXDE keep it, or on the bare X root window.")
  # The libraries' packages, found by dpkg-shlibdeps; Qt's Wayland platform
  # is a plug-in, which it cannot see.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-wayland)
  # GNOME shows no tray icons without it.
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS gnome-shell-extension-appindicator)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_STRIP_FILES ON)
  # After cpack's strip: the compilers' version strings are no use either.
  install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quillmere\" COMMAND_ERROR_IS_FATAL ANY)")
  include(CPack)
endif()
add_custom_target(linux-docs ALL DEPENDS ${_qm_doc_outputs})

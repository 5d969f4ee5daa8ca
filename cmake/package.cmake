# The release zip, made by cpack in a Windows build folder (tools/release.sh):
# Quillmere-<version>-win32.zip (win64 for the 64-bit build; stripped here,
# so that the 64-bit zip ships the very build the tests ran) holding the
# stripped program, a plain-text readme, and the licence texts of what the
# program links statically, taken from where they are installed. Every text
# gets Windows line ends, so that any Notepad shows it as written.

# Copies a text file with CRLF line ends. Only @VAR@ would be replaced, and
# the licence texts hold none: tools/release.sh checks each against its
# source.
function(qm_windows_text source destination)
  configure_file("${source}" "${destination}" @ONLY NEWLINE_STYLE CRLF)
endfunction()

# libjpeg-turbo's own install puts its licence texts beside the library;
# zlib's (the notice in its README), libpng's and libwebp's are put beside
# theirs by tools/build-imagelibs-mingw.sh; the mingw-w64 runtime's (CRT,
# winpthreads) are in its Debian package. All are cached: tools/release.sh
# compares the zip with them.
get_filename_component(_qm_jpeg_doc "${JPEG_INCLUDE_DIR}/../share/doc/libjpeg-turbo" ABSOLUTE)
find_file(QM_LIBJPEG_LICENSE LICENSE.md PATHS "${_qm_jpeg_doc}"
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_file(QM_LIBJPEG_README_IJG README.ijg PATHS "${_qm_jpeg_doc}"
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
get_filename_component(_qm_image_doc "${PNG_PNG_INCLUDE_DIR}/../share/doc" ABSOLUTE)
find_file(QM_ZLIB_LICENSE README PATHS "${_qm_image_doc}/zlib" NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_file(QM_LIBPNG_LICENSE LICENSE PATHS "${_qm_image_doc}/libpng" NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_file(QM_LIBWEBP_LICENSE COPYING PATHS "${_qm_image_doc}/libwebp" NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_file(QM_LIBWEBP_PATENTS PATENTS PATHS "${_qm_image_doc}/libwebp" NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(QM_MINGW_RUNTIME_COPYRIGHT /usr/share/doc/mingw-w64-i686-dev/copyright CACHE INTERNAL "")
  set(QM_PACKAGE_SYSTEM win32)
  set(QM_PACKAGE_WINDOWS "This is the 32-bit program, for 32-bit Windows. It runs on 64-bit
Windows too, where the 64-bit program (the win64 zip) is the better choice.")
else()
  set(QM_MINGW_RUNTIME_COPYRIGHT /usr/share/doc/mingw-w64-x86-64-dev/copyright CACHE INTERNAL "")
  set(QM_PACKAGE_SYSTEM win64)
  set(QM_PACKAGE_WINDOWS "This is the 64-bit program, for 64-bit Windows: Windows 11, and
Windows 10 on most machines. On 32-bit Windows, take the win32 zip.")
endif()
if(NOT EXISTS "${QM_MINGW_RUNTIME_COPYRIGHT}")
  message(FATAL_ERROR "no ${QM_MINGW_RUNTIME_COPYRIGHT}: the mingw-w64 runtime's licence texts")
endif()

set(_qm_release "${CMAKE_BINARY_DIR}/release")
# Substituted first: a value may span lines, whose ends change with the rest.
configure_file(docs/release/README.txt.in "${_qm_release}/README.txt.lf" @ONLY)
qm_windows_text("${_qm_release}/README.txt.lf" "${_qm_release}/README.txt")
qm_windows_text("${QM_LIBJPEG_LICENSE}" "${_qm_release}/libjpeg-turbo-LICENSE.md")
qm_windows_text("${QM_LIBJPEG_README_IJG}" "${_qm_release}/libjpeg-turbo-README.ijg")
qm_windows_text("${QM_MINGW_RUNTIME_COPYRIGHT}" "${_qm_release}/mingw-w64-runtime.txt")
qm_windows_text("${QM_ZLIB_LICENSE}" "${_qm_release}/zlib-README.txt")
qm_windows_text("${QM_LIBPNG_LICENSE}" "${_qm_release}/libpng-LICENSE.txt")
qm_windows_text("${QM_LIBWEBP_LICENSE}" "${_qm_release}/libwebp-COPYING.txt")
qm_windows_text("${QM_LIBWEBP_PATENTS}" "${_qm_release}/libwebp-PATENTS.txt")

install(TARGETS quillmere RUNTIME DESTINATION .)
install(FILES "${_qm_release}/README.txt" DESTINATION .)
install(FILES "${_qm_release}/libjpeg-turbo-LICENSE.md" "${_qm_release}/libjpeg-turbo-README.ijg"
              "${_qm_release}/mingw-w64-runtime.txt" "${_qm_release}/zlib-README.txt"
              "${_qm_release}/libpng-LICENSE.txt" "${_qm_release}/libwebp-COPYING.txt"
              "${_qm_release}/libwebp-PATENTS.txt"
        DESTINATION licenses)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Quillmere)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_FILE_NAME "Quillmere-${PROJECT_VERSION}-${QM_PACKAGE_SYSTEM}")
# Stripped whatever the build type: symbols are no use to the user.
set(CPACK_STRIP_FILES ON)
include(CPack)

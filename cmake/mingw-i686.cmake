# 32-bit Windows cross build: the shipped program. Its tests run under
# 32-bit Wine where the machine has it (tools/setup.sh probes for that).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

# The static libjpeg built by tools/build-libjpeg-mingw.sh i686, and zlib,
# libpng and libwebp by tools/build-imagelibs-mingw.sh i686.
get_filename_component(_qm_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32 "${_qm_root}/build/libjpeg-mingw-i686"
    "${_qm_root}/build/imagelibs-mingw-i686")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR "${_qm_root}/cmake/wine-run.sh")

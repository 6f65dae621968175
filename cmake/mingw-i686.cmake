# Cross build for 32-bit Windows with mingw-w64 (posix thread model, needed by GoogleTest).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KORVANE_MINGW_TRIPLET i686-w64-mingw32)
# Debian's wine wrapper starts the 32-bit loader.
set(KORVANE_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

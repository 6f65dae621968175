# Cross build for 64-bit Windows with mingw-w64 (posix thread model, needed by GoogleTest).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KORVANE_MINGW_TRIPLET x86_64-w64-mingw32)
# Debian's wine wrapper prefers the 32-bit loader whenever it is installed,
# also where the machine cannot run it: name the 64-bit loader itself.
set(KORVANE_WINE_LOADER /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

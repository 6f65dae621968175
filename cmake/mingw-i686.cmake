# Cross build for 32-bit Windows with mingw-w64 (posix thread model, needed by GoogleTest).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

find_program(KORVANE_MINGW_CXX NAMES i686-w64-mingw32-g++-posix i686-w64-mingw32-g++)
find_program(KORVANE_MINGW_CC NAMES i686-w64-mingw32-gcc-posix i686-w64-mingw32-gcc)
find_program(KORVANE_WINDRES NAMES i686-w64-mingw32-windres)
if(NOT KORVANE_MINGW_CXX OR NOT KORVANE_MINGW_CC OR NOT KORVANE_WINDRES)
  message(FATAL_ERROR "mingw-w64 i686 compilers not found: install g++-mingw-w64-i686")
endif()
set(CMAKE_CXX_COMPILER ${KORVANE_MINGW_CXX})
set(CMAKE_C_COMPILER ${KORVANE_MINGW_CC})
set(CMAKE_RC_COMPILER ${KORVANE_WINDRES})

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# Cross build for 64-bit Windows with MinGW-w64; tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix thread model: GoogleTest needs std::mutex and std::thread.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Every test runs under Wine in a prefix of its own inside the build tree
# (tests/CMakeLists.txt initialises it once, before the first test). No
# display: the tests never open a window, and CI has no X server.
find_program(QUILLPROBE_WINE NAMES wine wine64)
if(QUILLPROBE_WINE)
  set(QUILLPROBE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(QUILLPROBE_WINE_ENV
      WINEPREFIX=${QUILLPROBE_WINEPREFIX} WINEDEBUG=-all
      "WINEDLLOVERRIDES=mscoree,mshtml=" WINEARCH=win64)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
      ${QUILLPROBE_WINE_ENV} ${QUILLPROBE_WINE})
endif()

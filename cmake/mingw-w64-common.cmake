# Cross-build for Windows with MinGW-w64, shared by the 64-bit and 32-bit
# toolchain files, which set LSC_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR first.
# The posix threading variant is required: the win32 one lacks std::mutex,
# which GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${LSC_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LSC_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${LSC_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${LSC_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)

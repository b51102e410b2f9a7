# 32-bit Windows (x86): runs on 32-bit Windows and, through WoW64, on 64-bit.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(LSC_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# 32-bit Windows, the product's own target.
set(TESSARIL_MINGW_PROCESSOR i686)
set(TESSARIL_WINE_TARGET win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

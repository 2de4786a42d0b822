# 64-bit Windows: the same programs, tested under 64-bit Wine where 32-bit code cannot
# run, and for the 64-bit faults it catches everywhere.
set(TESSARIL_MINGW_PROCESSOR x86_64)
set(TESSARIL_WINE_TARGET win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

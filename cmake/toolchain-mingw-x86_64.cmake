# Cross build of the same sources for x86-64. Not shipped: it runs every
# Windows test under 64-bit Wine, which works where the kernel refuses
# 32-bit programs, and it keeps the code honest about pointer sizes.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)

# The zlib stream wrappers, the two data components and the file layer they
# write through; included by the form-stream library's own list.
if(WIN32)
  # Setup.exe carries no DLLs of its own: link zlib's static archive, never
  # the import library of zlib1.dll that sits beside it.
  set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)

target_sources(qv_formstream PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ZlibStreams.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BinaryData.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CompressedBinaryData.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileLayer.cpp
)
if(NOT WIN32)
  # The product writes through the Windows layer (src/win32); the native
  # builds and tests through the POSIX one.
  target_sources(qv_formstream PRIVATE ${CMAKE_CURRENT_LIST_DIR}/NativeFileLayer.cpp)
endif()
target_link_libraries(qv_formstream PUBLIC ZLIB::ZLIB)

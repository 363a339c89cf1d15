# A build-time tool of ours (tools/NAME) that runs on the build machine in a
# cross build: the one given in the cache variable QV_<NAME>, or built here
# as a project of its own with the native compilers. Sets qv_<name> to its
# path in the caller's scope and makes the target <name>_host, which
# commands that run the tool depend on.
include_guard(GLOBAL)
include(ExternalProject)

function(qv_host_tool name description)
  string(TOUPPER ${name} upper)
  set(QV_${upper} "" CACHE FILEPATH "${description} built for the build machine (empty: build one)")
  if(QV_${upper})
    set(path ${QV_${upper}})
    add_custom_target(${name}_host)
  else()
    set(path ${CMAKE_BINARY_DIR}/${name}-host/${name})
    ExternalProject_Add(${name}_host
      SOURCE_DIR ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../tools/${name}
      BINARY_DIR ${CMAKE_BINARY_DIR}/${name}-host
      CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
                 -G Ninja
      INSTALL_COMMAND ""
      # Its sources are ours and change: let its own build decide what is stale.
      BUILD_ALWAYS ON
      BUILD_BYPRODUCTS ${path})
  endif()
  set(qv_${name} ${path} PARENT_SCOPE)
endfunction()

# qv_load_config(TARGET): after TARGET is linked, its load-configuration
# directory points at the _load_config_used structure it defines (GNU ld
# keeps the structure but leaves the directory empty). The structure is
# found in the link map, which outlives the stripping of the symbol table.
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/HostTool.cmake)

qv_host_tool(loadcfg "A load-configuration patcher")
# Targets of other directories, which do not see this one's variables, use it too.
set_property(GLOBAL PROPERTY qv_loadcfg ${qv_loadcfg})

function(qv_load_config target)
  get_property(tool GLOBAL PROPERTY qv_loadcfg)
  set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
  target_link_options(${target} PRIVATE -Wl,-Map=${map})
  add_dependencies(${target} loadcfg_host)
  add_custom_command(
    TARGET ${target}
    POST_BUILD
    COMMAND ${tool} $<TARGET_FILE:${target}> ${map}
    BYPRODUCTS ${map}
    VERBATIM)
endfunction()

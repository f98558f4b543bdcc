# The tool's frame (main, command table, shared helpers) and the block and md5 commands.
target_sources(paktool PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/paktool_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/paktool_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cli_util.cpp
  ${CMAKE_CURRENT_LIST_DIR}/method_arg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cmd_block.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cmd_md5.cpp
)

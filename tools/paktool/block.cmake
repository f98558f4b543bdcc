# The tool's frame (main, command table, shared helpers) and the block and md5 commands.
target_sources(paktool PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/paktool_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/paktool_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cli_util.cpp
  ${CMAKE_CURRENT_LIST_DIR}/method_arg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cmd_block.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cmd_md5.cpp
)
# Texts of the game's encoding on the terminal: converted on POSIX, as they are on Windows.
if(WIN32)
  target_sources(paktool PRIVATE ${CMAKE_CURRENT_LIST_DIR}/console_text_win32.cpp)
else()
  target_sources(paktool PRIVATE ${CMAKE_CURRENT_LIST_DIR}/console_text_posix.cpp)
endif()

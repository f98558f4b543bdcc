# paktool's pack commands.
target_sources(paktool PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/pack_cli.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rebuild_meter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cmd_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cmd_extract.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cmd_make.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cmd_add.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cmd_delete.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cmd_verify.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cmd_id.cpp)

# Publishing and checking updates: publish, olp, sync, apply-olp.
target_sources(paktool PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/publish_util.cpp
  ${CMAKE_CURRENT_LIST_DIR}/publication_check.cpp
  ${CMAKE_CURRENT_LIST_DIR}/publish_removals.cpp
  ${CMAKE_CURRENT_LIST_DIR}/publish_delta.cpp
  ${CMAKE_CURRENT_LIST_DIR}/game_names.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_diagnosis.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tool_version.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cmd_publish.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cmd_olp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/olp_delta.cpp
  ${CMAKE_CURRENT_LIST_DIR}/olp_removals.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cmd_sync.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cmd_apply_olp.cpp)
# UTF-8 names of a game folder converted to GBK (iconv), or refused where there is none.
if(WIN32)
  target_sources(paktool PRIVATE ${CMAKE_CURRENT_LIST_DIR}/game_names_win32.cpp)
else()
  target_sources(paktool PRIVATE ${CMAKE_CURRENT_LIST_DIR}/game_names_posix.cpp)
endif()

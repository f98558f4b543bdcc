# Delta patches (zstd against the installed content) and the list that publishes them.
target_sources(updater_engine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/delta_patch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/delta_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/delta_fetch.cpp)
target_link_libraries(updater_engine PRIVATE dep_zstd)

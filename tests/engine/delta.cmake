# Delta patches and the list that publishes them.
target_sources(unit_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/delta_patch_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/delta_list_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/delta_fetch_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update_engine_delta_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/delta_test_support.cpp)
target_link_libraries(unit_tests PRIVATE dep_zstd)

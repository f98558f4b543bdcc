# Manifests, comparison, download and apply, offline packages, transfers.
target_sources(unit_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/engine_test_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/manifest_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/progress_sink_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unwrap_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/partial_downloads_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/staged_partials_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/offline_package_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update_engine_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update_engine_memory_test.cpp)

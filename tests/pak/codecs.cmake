target_sources(unit_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/codec_test_data.cpp
  ${CMAKE_CURRENT_LIST_DIR}/codec_roundtrip_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/codec_edge_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/codec_hostile_test.cpp)

# Tests of the pack format, reader, writer and rebuild.
target_sources(unit_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/pak_test_util.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_name_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_reader_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_make_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_updater_test.cpp)

target_sources(unit_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/md5_test.cpp)

# Signed updates: the engine's and the self-update's checks with a publisher key lent to
# the tests (key pairs made with libsodium).
target_sources(unit_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/signed_test_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/signed_update_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/signed_self_update_test.cpp)
target_link_libraries(unit_tests PRIVATE dep_sodium)

# Publisher signatures and the built-in key; the tests make their own key pairs with libsodium.
target_sources(unit_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/signature_test.cpp)
target_link_libraries(unit_tests PRIVATE dep_sodium)

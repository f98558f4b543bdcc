# The delta list parser and the patch decoder.
kvo_add_fuzzer(fuzz_delta ${CMAKE_CURRENT_LIST_DIR}/fuzz_delta.cpp)

# Fuzz target of the method 1 decoder (longer runs: bin/fuzz_lha_decode -max_total_time=60).
kvo_add_fuzzer(fuzz_lha_decode ${CMAKE_CURRENT_LIST_DIR}/fuzz_lha_decode.cpp)

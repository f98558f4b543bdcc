# Fuzz target of the pack reader (longer runs: bin/fuzz_pak_read -max_total_time=60).
# Seeds: fuzz/corpus/fuzz_pak_read/ (small packs in several methods).
kvo_add_fuzzer(fuzz_pak_read ${CMAKE_CURRENT_LIST_DIR}/fuzz_pak_read.cpp)

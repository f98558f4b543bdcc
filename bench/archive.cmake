# Pack reader and rebuild benchmarks: bin/bench_pak_read, bin/bench_pak_rebuild.
# The rebuild benchmark makes a 320 MiB pack in the temporary directory and removes it.
kvo_add_benchmark(bench_pak_read ${CMAKE_CURRENT_LIST_DIR}/bench_pak_read.cpp ${CMAKE_CURRENT_LIST_DIR}/bench_pak_common.cpp)
kvo_add_benchmark(bench_pak_rebuild ${CMAKE_CURRENT_LIST_DIR}/bench_pak_rebuild.cpp ${CMAKE_CURRENT_LIST_DIR}/bench_pak_common.cpp)

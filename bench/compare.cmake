# Manifest comparison benchmarks
kvo_add_benchmark(bench_compare ${CMAKE_CURRENT_LIST_DIR}/bench_compare.cpp)

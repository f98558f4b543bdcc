# MD5 benchmarks
kvo_add_benchmark(bench_md5 ${CMAKE_CURRENT_LIST_DIR}/bench_md5.cpp)

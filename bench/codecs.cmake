# Codec throughput beside the raw zlib / LZO / liblzma calls: build/host/bin/bench_codecs
kvo_add_benchmark(bench_codecs ${CMAKE_CURRENT_LIST_DIR}/bench_codecs.cpp)
target_link_libraries(bench_codecs PRIVATE dep_zlib dep_lzma dep_lzo)

# Codec throughput beside the raw zlib / LZO / liblzma calls: bin/bench_codecs
if(COMMAND kvo_add_benchmark)
  kvo_add_benchmark(bench_codecs ${CMAKE_CURRENT_LIST_DIR}/bench_codecs.cpp)
else()
  add_executable(bench_codecs ${CMAKE_CURRENT_LIST_DIR}/bench_codecs.cpp)
  target_include_directories(bench_codecs PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(bench_codecs PRIVATE benchmark::benchmark)
endif()
target_link_libraries(bench_codecs PRIVATE updater_pak dep_zlib dep_lzma dep_lzo)

# Method 1 coder throughput and ratio, beside liblhasa's -lh5- decoder as the reference
# peer on the same coded data: bin/bench_lha
kvo_add_benchmark(bench_lha ${CMAKE_CURRENT_LIST_DIR}/bench_lha.cpp)
target_link_libraries(bench_lha PRIVATE dep_zlib)
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(LHASA IMPORTED_TARGET liblhasa)
endif()
if(LHASA_FOUND)
  target_link_libraries(bench_lha PRIVATE PkgConfig::LHASA)
  target_compile_definitions(bench_lha PRIVATE KVO_HAVE_LIBLHASA=1)
else()
  message(STATUS "liblhasa not found: bench_lha runs without the peer decoder")
endif()

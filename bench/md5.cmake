# MD5 benchmarks. OpenSSL's MD5, when found, is the reference our own MD5 is measured
# against in the same program; it is linked into this benchmark only, never into the product.
kvo_add_benchmark(bench_md5 ${CMAKE_CURRENT_LIST_DIR}/bench_md5.cpp)
find_package(OpenSSL QUIET COMPONENTS Crypto)
if(OpenSSL_FOUND)
  target_link_libraries(bench_md5 PRIVATE OpenSSL::Crypto)
  target_compile_definitions(bench_md5 PRIVATE BENCH_MD5_OPENSSL_REFERENCE=1)
else()
  message(STATUS "OpenSSL not found: bench_md5 runs without the reference MD5")
endif()

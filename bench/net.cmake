# The download limit, measured through the FTP session against an in-memory server.
kvo_add_benchmark(bench_rate_limit ${CMAKE_CURRENT_LIST_DIR}/bench_rate_limit.cpp)
target_link_libraries(bench_rate_limit PRIVATE updater_net)

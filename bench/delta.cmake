# Delta updates: patch bytes against whole members, and the install time through patches
# against today's whole-member install (a sample game of about 80 MB made in memory).
kvo_add_benchmark(bench_delta ${CMAKE_CURRENT_LIST_DIR}/bench_delta.cpp ${CMAKE_CURRENT_LIST_DIR}/bench_pak_common.cpp)

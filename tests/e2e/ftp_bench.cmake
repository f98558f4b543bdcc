# The FTP throughput benchmark (Windows builds; tests/e2e/ftp_bench.sh runs it by hand).
if(WIN32)
  add_executable(ftp_bench ${CMAKE_CURRENT_LIST_DIR}/ftp_bench.cpp)
  target_link_libraries(ftp_bench PRIVATE updater_net wininet)
  target_include_directories(ftp_bench PRIVATE ${PROJECT_SOURCE_DIR})
endif()
# The HTTPS throughput benchmark (tests/e2e/http_bench.sh runs it).
if(WIN32)
  add_executable(http_bench ${CMAKE_CURRENT_LIST_DIR}/http_bench.cpp)
  target_link_libraries(http_bench PRIVATE updater_net)
  target_include_directories(http_bench PRIVATE ${PROJECT_SOURCE_DIR})
endif()

# The FTP session and the names and texts it carries: its decisions, the rules for a name
# from a server, the status texts, the download limit, and the session over a scripted client (retries, server
# switching, the download-directory override, faulty transfers, the watchdog, Interrupt).
target_sources(unit_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ftp_policy_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rate_limit_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/server_name_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/status_text_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp_session_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp_prefetch_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp_live_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp_scripted_client.cpp)
target_link_libraries(unit_tests PRIVATE updater_net)

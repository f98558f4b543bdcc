# The FTP session: its decisions, and the session over a scripted client (retries, server
# switching, the download-directory override, faulty transfers, the watchdog, Interrupt).
target_sources(unit_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ftp_policy_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp_session_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp_live_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp_scripted_client.cpp)
target_link_libraries(unit_tests PRIVATE updater_net)

# The HTTP(S) transport: its addresses and redirect rules, and the session against the
# scripted server of http_fault_server.py on loopback (whole files, resumes, refusals,
# bounds, the watchdog, Interrupt, the download limit on the wire); how TLS servers are checked.
target_sources(unit_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/http_url_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/connection_failure_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/http_session_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tls_trust_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/http_fault_server.cpp)
target_compile_definitions(unit_tests PRIVATE
  KVO_HTTP_FAULT_SERVER="${CMAKE_CURRENT_LIST_DIR}/http_fault_server.py")

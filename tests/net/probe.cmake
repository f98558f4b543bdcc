# Server selection: the rules that need no network, and the probe and source order against
# responders on loopback addresses of this machine.
target_sources(unit_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/server_select_rules_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/probe_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/server_select_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/probe_peer.cpp)
target_link_libraries(unit_tests PRIVATE updater_net)

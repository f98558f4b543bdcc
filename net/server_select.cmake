# Update server selection: candidate sources, the UDP probe and the pick.
#
# UPDATER_FALLBACK_SERVER_1 / _2: the two servers tried when neither "upip.inf", the name
# service nor the plug-in gives any address. Loopback by default, so a build that nobody
# configured never sends a datagram off this machine; a release sets the operator's servers.
set(UPDATER_FALLBACK_SERVER_1 "127.0.0.1" CACHE STRING "First built-in fallback update server (dotted IPv4)")
set(UPDATER_FALLBACK_SERVER_2 "127.0.0.2" CACHE STRING "Second built-in fallback update server (dotted IPv4)")
foreach(server UPDATER_FALLBACK_SERVER_1 UPDATER_FALLBACK_SERVER_2)
  if(NOT ${server} MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "${server} must be a dotted IPv4 address, not '${${server}}'")
  endif()
endforeach()

target_sources(updater_net PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/server_select.cpp
  ${CMAKE_CURRENT_LIST_DIR}/server_select_rules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/probe.cpp)
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/server_select.cpp PROPERTIES COMPILE_DEFINITIONS
  "UPDATER_FALLBACK_SERVER_1=\"${UPDATER_FALLBACK_SERVER_1}\";UPDATER_FALLBACK_SERVER_2=\"${UPDATER_FALLBACK_SERVER_2}\"")
target_link_libraries(updater_net PUBLIC updater_config)

# Method 1 coder: unit tests, and interoperability checks against Debian's lhasa (lha) and
# jlha-utils (jlha) as independent -lh5- peers (host only; skipped when a tool is missing).
target_sources(unit_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/lha_test_data.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lha_roundtrip_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lha_hostile_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lha_huffman_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lha_thread_test.cpp)

if(NOT WIN32)
  add_executable(lha_interop_tool ${CMAKE_CURRENT_LIST_DIR}/lha_interop_tool.cpp)
  target_link_libraries(lha_interop_tool PRIVATE updater_pak)
  set(_lha_interop_script ${CMAKE_CURRENT_LIST_DIR}/lha_interop_test.sh)
  foreach(_peer lhasa jlha)
    add_test(NAME lha_interop_${_peer}
             COMMAND sh ${_lha_interop_script} ${_peer} $<TARGET_FILE:lha_interop_tool>
                     ${CMAKE_CURRENT_BINARY_DIR}/lha_interop_${_peer})
    set_tests_properties(lha_interop_${_peer} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
  endforeach()
endif()

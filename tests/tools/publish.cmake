# paktool publish, olp, sync and apply-olp, run from the command line on the host.
if(NOT CMAKE_CROSSCOMPILING)
  find_program(BASH_PROGRAM bash REQUIRED)
  # A tool or plug-in in an offline package must be a PE image of the tool's own machine.
  add_executable(make_test_pe ${CMAKE_CURRENT_LIST_DIR}/make_test_pe.cpp ${PROJECT_SOURCE_DIR}/tests/engine/pe_fixture.cpp)
  target_include_directories(make_test_pe PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(make_test_pe PRIVATE updater_engine)
  add_test(NAME paktool_publish_cli
           COMMAND ${BASH_PROGRAM} ${CMAKE_CURRENT_LIST_DIR}/publish_cli_test.sh $<TARGET_FILE:paktool>
                   $<TARGET_FILE:make_test_pe>)
endif()
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME paktool_delta_cli
           COMMAND ${BASH_PROGRAM} ${CMAKE_CURRENT_LIST_DIR}/delta_cli_test.sh $<TARGET_FILE:paktool>)
endif()
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME paktool_olp_removal_cli
           COMMAND ${BASH_PROGRAM} ${CMAKE_CURRENT_LIST_DIR}/olp_removal_cli_test.sh $<TARGET_FILE:paktool>)
endif()

# paktool publish, olp, sync and apply-olp, run from the command line on the host.
if(NOT CMAKE_CROSSCOMPILING)
  find_program(BASH_PROGRAM bash REQUIRED)
  add_test(NAME paktool_publish_cli
           COMMAND ${BASH_PROGRAM} ${CMAKE_CURRENT_LIST_DIR}/publish_cli_test.sh $<TARGET_FILE:paktool>)
endif()

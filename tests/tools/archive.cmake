# paktool's pack commands, run from the command line on the host.
if(NOT CMAKE_CROSSCOMPILING)
  find_program(BASH_PROGRAM bash REQUIRED)
  add_test(NAME paktool_archive_cli
           COMMAND ${BASH_PROGRAM} ${CMAKE_CURRENT_LIST_DIR}/archive_cli_test.sh $<TARGET_FILE:paktool>)
endif()

# paktool probe-responder, run from the command line on the host against a Python client.
if(NOT CMAKE_CROSSCOMPILING)
  find_program(BASH_PROGRAM bash REQUIRED)
  add_test(NAME paktool_probe_cli
           COMMAND ${BASH_PROGRAM} ${CMAKE_CURRENT_LIST_DIR}/probe_cli_test.sh $<TARGET_FILE:paktool>)
endif()

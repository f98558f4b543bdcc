# paktool keygen, sign, verify-signature and the --sign option of publish and olp.
if(NOT CMAKE_CROSSCOMPILING)
  find_program(BASH_PROGRAM bash REQUIRED)
  add_test(NAME paktool_signature_cli
           COMMAND ${BASH_PROGRAM} ${CMAKE_CURRENT_LIST_DIR}/signature_cli_test.sh $<TARGET_FILE:paktool>)
endif()

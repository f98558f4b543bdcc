# Publisher signatures: keygen, sign, verify-signature, and the signer the publishing
# commands use for --sign. keygen makes keys with libsodium directly.
target_sources(paktool PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/signing_util.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cmd_keygen.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cmd_sign.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cmd_verify_signature.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cmd_verify_publication.cpp)
target_link_libraries(paktool PRIVATE dep_sodium)

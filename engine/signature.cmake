# Publisher signatures (signature.cpp) and the key built into this build (publisher_key.cpp).
# UPDATER_PUBLISHER_KEY: 64 hex digits of the publisher's Ed25519 public key; empty builds an
# update.exe that checks no signatures. It is defined on publisher_key.cpp alone.
set(UPDATER_PUBLISHER_KEY "" CACHE STRING "Publisher public key, 64 hex digits (empty: no signature checks)")
add_library(updater_signature STATIC
  ${CMAKE_CURRENT_LIST_DIR}/signature.cpp
  ${CMAKE_CURRENT_LIST_DIR}/publisher_key.cpp)
target_include_directories(updater_signature PUBLIC ${PROJECT_SOURCE_DIR})
if(UPDATER_PUBLISHER_KEY)
  if(NOT UPDATER_PUBLISHER_KEY MATCHES "^[0-9a-fA-F]+$")
    message(FATAL_ERROR "UPDATER_PUBLISHER_KEY must be 64 hex digits")
  endif()
  string(LENGTH "${UPDATER_PUBLISHER_KEY}" _key_length)
  if(NOT _key_length EQUAL 64)
    message(FATAL_ERROR "UPDATER_PUBLISHER_KEY must be 64 hex digits (got ${_key_length})")
  endif()
  set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/publisher_key.cpp APPEND PROPERTY
    COMPILE_DEFINITIONS "UPDATER_PUBLISHER_KEY_HEX=\"${UPDATER_PUBLISHER_KEY}\"")
endif()
target_link_libraries(updater_signature PRIVATE dep_sodium updater_platform)

# Manifests, comparison, download and apply, offline packages, and the signature checks
# and publication number of signed updates.
target_sources(updater_engine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/plugin_values.cpp
  ${CMAKE_CURRENT_LIST_DIR}/manifest_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/manifest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/publication.cpp
  ${CMAKE_CURRENT_LIST_DIR}/signed_fetch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/manifest_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update_engine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update_engine_delta.cpp
  ${CMAKE_CURRENT_LIST_DIR}/disk_space.cpp
  ${CMAKE_CURRENT_LIST_DIR}/partial_downloads.cpp
  ${CMAKE_CURRENT_LIST_DIR}/staged_partials.cpp
  ${CMAKE_CURRENT_LIST_DIR}/installed_check.cpp
  ${CMAKE_CURRENT_LIST_DIR}/offline_package.cpp
  ${CMAKE_CURRENT_LIST_DIR}/offline_package_content.cpp
  ${CMAKE_CURRENT_LIST_DIR}/own_files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update_pk_writer.cpp)
target_link_libraries(updater_engine PUBLIC updater_net)

# The update driver of a run, the self-update check, and the services they reach the
# server through.
target_sources(updater_engine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/update_driver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/self_update.cpp)

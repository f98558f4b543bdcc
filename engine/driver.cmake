# The update driver of a run, the self-update check, and the services they reach the
# server through (SelectUpdateServer and the FTP session in update.exe, or the HTTP session
# when the plug-in names web servers).
target_sources(updater_engine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/update_driver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/self_update.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pe_image.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_services_ftp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_services_http.cpp)

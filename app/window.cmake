# The Windows program update.exe (GUI subsystem).
add_executable(update WIN32
  ${CMAKE_CURRENT_SOURCE_DIR}/main_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/update_app_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/single_instance_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/launcher_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/updater_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/status_window_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/interim_window_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/update_run_win32.cpp
  ${PROJECT_SOURCE_DIR}/res/update.rc)
target_include_directories(update PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(update PRIVATE updater_app_core updater_platformcfg updater_engine updater_pak
  updater_common updater_text updater_platform comctl32)

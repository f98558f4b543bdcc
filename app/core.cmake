# Start-up's decisions, its reading of curver.dat, the texts of a finished update run, and
# the main window's portable core (skin geometry, progress bar values, what it counts and
# shows, the commands' decisions, the editions): portable, so the unit tests check them on
# every build.
add_library(updater_app_core STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/startup_rules.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/startup_instruction.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/update_result.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/skin_layout.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/skin_progress.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/transfer_rate.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/update_dlg_state.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/update_commands.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/edition.cpp)
target_include_directories(updater_app_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(updater_app_core PUBLIC updater_pak updater_common updater_platform)

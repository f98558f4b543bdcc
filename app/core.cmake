# Start-up's decisions, its reading of curver.dat and the texts of a finished update run:
# portable, so the unit tests check them on every build.
add_library(updater_app_core STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/startup_rules.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/startup_instruction.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/update_result.cpp)
target_include_directories(updater_app_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(updater_app_core PUBLIC updater_pak updater_common updater_platform)

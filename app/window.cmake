# The Windows program update.exe (GUI subsystem).
add_executable(update WIN32
  ${CMAKE_CURRENT_SOURCE_DIR}/main_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/update_app_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/single_instance_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/launcher_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/updater_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/status_window_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/update_run_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/update_dlg_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/update_dlg_commands_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/skin_paint_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/skin_progress_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/window_region_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/browser_host_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/about_dlg_win32.cpp
  ${PROJECT_SOURCE_DIR}/res/update.rc)
target_include_directories(update PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(update PRIVATE updater_app_core updater_platformcfg updater_engine updater_pak
  updater_common updater_text updater_platform comctl32 comdlg32 shell32 msimg32 gdi32 ole32 oleaut32 uuid)
# The resource script names the skin's bitmaps and icon: rebuild it when they change.
file(GLOB UPDATE_SKIN_FILES ${PROJECT_SOURCE_DIR}/res/skin/*.bmp ${PROJECT_SOURCE_DIR}/res/skin/*.ico)
set_source_files_properties(${PROJECT_SOURCE_DIR}/res/update.rc PROPERTIES
  OBJECT_DEPENDS "${UPDATE_SKIN_FILES};${PROJECT_SOURCE_DIR}/res/resource.h")
updater_release_binary(update)

# The update driver and the self-update over scripted server selection and sessions.
target_sources(unit_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/driver_test_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/driver_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/disk_space_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/driver_progress_com_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/driver_result_text_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/self_update_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pe_fixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pe_image_test.cpp)
target_link_libraries(unit_tests PRIVATE updater_app_core)
if(WIN32)
  target_sources(unit_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/driver_progress_com_win32_test.cpp)
  target_link_libraries(unit_tests PRIVATE uuid)
endif()

# Tests of the pack format, reader, writer and rebuild.
target_sources(unit_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/pak_test_util.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_name_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_reader_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_make_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_updater_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_parallel_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_kept_copy_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rebuild_progress_test.cpp)

# The rebuild killed at each of its file operations (host only: a child process per point).
if(NOT CMAKE_CROSSCOMPILING)
  add_executable(pak_crash_child ${CMAKE_CURRENT_LIST_DIR}/pak_crash_child.cpp)
  target_include_directories(pak_crash_child PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(pak_crash_child PRIVATE updater_pak)
  find_program(BASH_PROGRAM bash REQUIRED)
  add_test(NAME pak_rebuild_crash
           COMMAND ${BASH_PROGRAM} ${CMAKE_CURRENT_LIST_DIR}/pak_crash_test.sh $<TARGET_FILE:paktool> $<TARGET_FILE:pak_crash_child>)
endif()

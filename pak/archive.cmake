# The pack format, reader, writer and rebuild, and the threads that code their blocks.
target_sources(updater_pak PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/disk_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_buffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_mem.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_log.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_paths.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_name.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_archive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_coding_threads.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_block_coder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_entry_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_make.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_replacement.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rebuild_progress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_kept_copier.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_rebuild.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_updater.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pak_update_task.cpp)

target_sources(updater_pak PRIVATE ${CMAKE_CURRENT_LIST_DIR}/pak_codec.cpp)

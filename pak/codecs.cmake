target_sources(updater_pak PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/pak_codec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/codec_base.cpp
  ${CMAKE_CURRENT_LIST_DIR}/codec_stored.cpp
  ${CMAKE_CURRENT_LIST_DIR}/codec_zlib.cpp
  ${CMAKE_CURRENT_LIST_DIR}/codec_lzo.cpp
  ${CMAKE_CURRENT_LIST_DIR}/codec_lzma86.cpp
  ${CMAKE_CURRENT_LIST_DIR}/codec_lzma.cpp)

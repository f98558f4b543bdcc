# Method 1: the LHA-style (-lh5- compatible) block coder and its codec object.
target_sources(updater_pak PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/lha_huffman.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lha_block_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lha_encoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lha_decoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lha_codec.cpp)

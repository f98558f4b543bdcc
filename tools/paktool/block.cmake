target_sources(paktool PRIVATE ${CMAKE_CURRENT_LIST_DIR}/paktool_main.cpp)

# Game launch.
target_sources(updater_engine PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/game_launch.cpp)
target_link_libraries(updater_engine PUBLIC updater_config)

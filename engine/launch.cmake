# Game launch, and the process-wide plug-in configuration values it shares with start-up
# (portable, so they live in the engine library on every build).
target_sources(updater_engine PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/game_launch.cpp
  ${PROJECT_SOURCE_DIR}/platformcfg/platform_config.cpp)

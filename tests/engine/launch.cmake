# Game launch tests.
target_sources(unit_tests PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/game_launch_test.cpp)

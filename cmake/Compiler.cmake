# Compiler settings shared by every target.
#
# The sources are UTF-8; the system's own texts must be GBK (code page 936) inside the
# program, so narrow literals are converted at compile time.
set(UPDATER_EXEC_CHARSET GBK)
add_compile_options(
  -Wall -Wextra
  $<$<COMPILE_LANGUAGE:CXX>:-finput-charset=UTF-8>
  $<$<COMPILE_LANGUAGE:CXX>:-fexec-charset=${UPDATER_EXEC_CHARSET}>)

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "" FORCE)
endif()

if(WIN32)
  # Narrow Win32 calls use the A forms deliberately (GBK text); wide ones are spelled out.
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501)
  # One self-contained executable: no libstdc++/libgcc/winpthread DLLs beside it.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

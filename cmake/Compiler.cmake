# Compiler settings shared by every target.
#
# The sources are UTF-8; the system's own texts must be GBK (code page 936) inside the
# program, so narrow literals are converted at compile time.
set(UPDATER_EXEC_CHARSET GBK)
add_compile_options(-Wall -Wextra $<$<COMPILE_LANGUAGE:CXX>:-finput-charset=UTF-8>)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fexec-charset=${UPDATER_EXEC_CHARSET}>)
elseif(NOT UPDATER_FUZZ)
  message(FATAL_ERROR "Only g++ converts the texts to GBK; clang is for the fuzz build only")
else()
  # clang keeps literals UTF-8. The fuzz targets feed bytes to decoders and readers and
  # never show a text, so that build does without the conversion.
endif()

if(UPDATER_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "The fuzz build needs clang (libFuzzer)")
  endif()
  # Every library is instrumented for coverage and checked by ASan/UBSan; the fuzz targets
  # add libFuzzer's main (fuzz/CMakeLists.txt). Undefined behaviour stops the run.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
                      -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "" FORCE)
endif()

if(WIN32)
  # Narrow Win32 calls use the A forms deliberately (GBK text); wide ones are spelled out.
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501)
  # One self-contained executable: no libstdc++/libgcc/winpthread DLLs beside it.
  add_link_options(-static -static-libgcc -static-libstdc++)
else()
  # The POSIX layer asks for 64-bit file offsets and inode numbers on every build: a 32-bit
  # build without them cannot list a folder of a file system with large inode numbers or
  # stat a file beyond 2 GB (EOVERFLOW).
  add_compile_definitions(_FILE_OFFSET_BITS=64)
endif()

# updater_release_binary(TARGET): a program or DLL of the Windows release ships without its
# debug information (it would make update.exe, which every self-update downloads, five times
# larger). The debug information is kept beside it as FILE.debug for crash analysis, linked
# from the binary by .gnu_debuglink (gdb and objdump find it by that name and check its CRC).
# Host builds keep theirs in place.
function(updater_release_binary target)
  if(NOT WIN32)
    return()
  endif()
  if(NOT CMAKE_OBJCOPY)
    message(FATAL_ERROR "objcopy of the MinGW toolchain not found: release binaries cannot be stripped")
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
            $<TARGET_FILE_NAME:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    COMMENT "Moving the debug information of $<TARGET_FILE_NAME:${target}> to $<TARGET_FILE_NAME:${target}>.debug"
    VERBATIM)
endfunction()

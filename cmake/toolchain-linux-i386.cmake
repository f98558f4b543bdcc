# The portable core's unit tests as a 32-bit x86 Linux program (g++ -m32 with Debian's
# i386 -dev packages): 32-bit size_t, 32-bit file offsets unless asked for more, and a
# 2 GB address space, as in the 32-bit release, tested on the build machine itself. Where
# the kernel refuses 32-bit programs they run through the qemu-i386 registration that
# scripts/setup.sh makes.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# pkg-config finds the i386 packages' .pc files, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig)
# Optimised as the other builds, without debug information: the build is only for running
# the tests, and it is much quicker to compile without.
set(CMAKE_C_FLAGS_RELWITHDEBINFO "-O2 -DNDEBUG" CACHE STRING "")
set(CMAKE_CXX_FLAGS_RELWITHDEBINFO "-O2 -DNDEBUG" CACHE STRING "")

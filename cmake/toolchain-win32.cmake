# 32-bit Windows: the shipped DLL, cross-compiled with mingw-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
# The stack protector guards every function with a local array or an address taken; gcc links
# its handler and the guard's start-up (libssp, statically) into each program and DLL.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -fstack-protector-strong")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -fstack-protector-strong")
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

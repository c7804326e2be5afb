# Cross-compiles for Windows (x86_64) with MinGW-w64's posix thread model, so
# std::thread and std::mutex work. The C and C++ run times and winpthread are
# linked in statically: a program needs no DLL of the compiler's beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELMORA_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

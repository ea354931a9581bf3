# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (posix thread model, so std::thread
# and std::mutex work). Used by scripts/build-windows.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(HALVIX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${HALVIX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HALVIX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${HALVIX_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${HALVIX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Header-only packages (nlohmann_json) are architecture independent and live on the host.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
# One self-contained .exe: the C++ runtime, libgcc and winpthread linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Test programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# The cross build shared by both toolchain files: mingw-w64 for the
# CMAKE_SYSTEM_PROCESSOR they set, with the posix thread model, everything
# linked statically so the programs carry their own runtime.
set(CMAKE_SYSTEM_NAME Windows)

set(TRIPLE ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER   ${TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${TRIPLE}-windres)
set(CMAKE_AR           ${TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB       ${TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_DLLTOOL      ${TRIPLE}-dlltool CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

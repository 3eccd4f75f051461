# morl_warnings: the warning set every target of ours compiles with, in the
# dialect of the compiler at hand.
add_library(morl_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID STREQUAL "MSVC")
  # /permissive- holds MSVC to the standard the other compilers keep; C4265 is
  # its -Wnon-virtual-dtor, off by default at every level.
  target_compile_options(morl_warnings INTERFACE /W4 /permissive- /w14265 /Zc:__cplusplus /utf-8)
  if(MORL_WERROR)
    target_compile_options(morl_warnings INTERFACE /WX)
  endif()
else()
  target_compile_options(morl_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual)
  if(MORL_WERROR)
    target_compile_options(morl_warnings INTERFACE -Werror)
  endif()
endif()

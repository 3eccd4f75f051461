# morl_warnings: the warning set every target of ours compiles with.
add_library(morl_warnings INTERFACE)
target_compile_options(morl_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
  -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual)
if(MORL_WERROR)
  target_compile_options(morl_warnings INTERFACE -Werror)
endif()

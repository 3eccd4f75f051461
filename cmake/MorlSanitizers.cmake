# Applies MORL_SANITIZE to everything built after this point.
if(MORL_SANITIZE)
  set(_san -fsanitize=${MORL_SANITIZE} -fno-omit-frame-pointer -g)
  if(MORL_SANITIZE MATCHES "undefined")
    list(APPEND _san -fno-sanitize-recover=undefined)
  endif()
  add_compile_options(${_san})
  add_link_options(-fsanitize=${MORL_SANITIZE})
endif()

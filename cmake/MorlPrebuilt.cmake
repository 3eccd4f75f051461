# What the host links: the stand-in embedding library and plugins of
# platform/ by default, or prebuilt ones given as directories.
#
# MORL_ENGINE_DIR, one embedding library:
#   include/flutter_windows.h   the embedding interface; the host, the
#                               messenger and the plugin headers compile
#                               against it in place of embedding/
#   flutter_windows.dll         Windows: the library, and its import library
#   libflutter_windows.dll.a    (MinGW; or flutter_windows.dll.a) or
#   flutter_windows.lib         (MSVC; or flutter_windows.dll.lib)
#   libflutter_windows.so       elsewhere: the shared library
#   icudtl.dat                  ICU data          -> bundle data/icudtl.dat
#   flutter_assets/             the assets folder -> bundle data/flutter_assets
#   app.so                      optional, the AOT library -> bundle data/app.so
#
# MORL_PLUGINS_DIR, one sub-directory per plugin library, named as the library
# (media_kit_video_plugin, ...):
#   NAME/include/plugins/HEADER the header declaring the registration function
#   NAME/NAME.dll               Windows: the library and its import library
#                               (NAME.dll.a, libNAME.dll.a, NAME.lib, NAME.dll.lib)
#   NAME/NAME.so                elsewhere (or libNAME.so)
# Other sub-directories are ignored.
#
# `cmake --install BUILD --component engine` (or `plugins`) of a stand-in
# build writes exactly these layouts. The stand-in plugins call into the
# stand-in engine, so a prebuilt engine needs prebuilt plugins too.

set(MORL_ENGINE_DIR "" CACHE PATH "Prebuilt embedding library to link instead of the stand-in")
set(MORL_PLUGINS_DIR "" CACHE PATH "Prebuilt plugin libraries to link instead of the stand-ins")

# Where the plugin headers find the embedding interface, which they include
# by its own name ("flutter_windows.h").
set(MORL_ENGINE_INCLUDE_DIR ${PROJECT_SOURCE_DIR}/embedding)

if(MORL_ENGINE_DIR)
  get_filename_component(MORL_ENGINE_DIR "${MORL_ENGINE_DIR}" ABSOLUTE)
  if(NOT MORL_PLUGINS_DIR)
    message(FATAL_ERROR "MORL_ENGINE_DIR needs MORL_PLUGINS_DIR: the stand-in plugins only "
                        "work with the stand-in engine")
  endif()
  foreach(required include/flutter_windows.h icudtl.dat flutter_assets)
    if(NOT EXISTS ${MORL_ENGINE_DIR}/${required})
      message(FATAL_ERROR "MORL_ENGINE_DIR ${MORL_ENGINE_DIR} has no ${required} "
                          "(layout: cmake/MorlPrebuilt.cmake)")
    endif()
  endforeach()
  set(MORL_ENGINE_INCLUDE_DIR ${MORL_ENGINE_DIR}/include)
  # Everything includes the interface as "embedding/flutter_windows.h". A
  # directory searched before the source tree answers that name with the
  # prebuilt header, so no file sees both declarations.
  set(_forward ${CMAKE_BINARY_DIR}/prebuilt_engine_include)
  file(CONFIGURE OUTPUT ${_forward}/embedding/flutter_windows.h
       CONTENT "/* The prebuilt embedding library's interface (MORL_ENGINE_DIR). */\n#include \"${MORL_ENGINE_INCLUDE_DIR}/flutter_windows.h\"\n")
  include_directories(BEFORE ${_forward})
endif()
if(MORL_PLUGINS_DIR)
  get_filename_component(MORL_PLUGINS_DIR "${MORL_PLUGINS_DIR}" ABSOLUTE)
endif()

# Sets OUT to the first of NAMES that exists in DIR; fails the configure
# naming every file it looked for.
function(_morl_first_existing out dir)
  foreach(name ${ARGN})
    if(EXISTS ${dir}/${name})
      set(${out} ${dir}/${name} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  string(REPLACE ";" ", " names "${ARGN}")
  message(FATAL_ERROR "${dir} has none of ${names} (layout: cmake/MorlPrebuilt.cmake)")
endfunction()

# The shared library BASENAME in DIR as the global imported target TARGET.
# find_library is not used: cross builds re-root its search into the
# compiler's sysroot.
function(_morl_import_shared_library target dir basename)
  add_library(${target} SHARED IMPORTED GLOBAL)
  if(WIN32)
    _morl_first_existing(runtime ${dir} ${basename}.dll)
    _morl_first_existing(implib ${dir} ${basename}.dll.a lib${basename}.dll.a ${basename}.lib
                         ${basename}.dll.lib)
    set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${runtime} IMPORTED_IMPLIB ${implib})
  else()
    _morl_first_existing(runtime ${dir} lib${basename}.so ${basename}.so)
    set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${runtime})
  endif()
endfunction()

# Imports MORL_ENGINE_DIR as `flutter_windows` and points the bundle's data
# at its files: MORL_ENGINE_ASSETS_DIR, MORL_ENGINE_ICU_DATA and, when the
# directory has one, MORL_ENGINE_AOT_LIBRARY.
macro(morl_import_prebuilt_engine)
  _morl_import_shared_library(flutter_windows ${MORL_ENGINE_DIR} flutter_windows)
  set_target_properties(flutter_windows PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${MORL_ENGINE_INCLUDE_DIR})
  # Whatever compiles against the declarations (the messenger, the host)
  # calls the library, so it links it, and it comes after them on the link
  # line: an import library is an archive, searched once, in order.
  target_link_libraries(flutter_embedding INTERFACE flutter_windows)
  set(MORL_ENGINE_ASSETS_DIR ${MORL_ENGINE_DIR}/flutter_assets)
  set(MORL_ENGINE_ICU_DATA ${MORL_ENGINE_DIR}/icudtl.dat)
  set(MORL_ENGINE_AOT_LIBRARY "")
  if(EXISTS ${MORL_ENGINE_DIR}/app.so)
    set(MORL_ENGINE_AOT_LIBRARY ${MORL_ENGINE_DIR}/app.so)
  endif()
endmacro()

# Imports each plugin library of MORL_PLUGINS_DIR as a target of its own
# name. Arguments: the libraries, then HEADERS and the header each declares
# its registration function in, in the same order. `api`, the interface
# through which the host calls the registration functions, links them all.
function(morl_import_prebuilt_plugins api)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "LIBRARIES;HEADERS")
  foreach(plugin header IN ZIP_LISTS arg_LIBRARIES arg_HEADERS)
    set(dir ${MORL_PLUGINS_DIR}/${plugin})
    if(NOT EXISTS ${dir}/include/plugins/${header})
      message(FATAL_ERROR "MORL_PLUGINS_DIR ${MORL_PLUGINS_DIR} has no ${plugin}/include/plugins/"
                          "${header} (layout: cmake/MorlPrebuilt.cmake)")
    endif()
    _morl_import_shared_library(${plugin} ${dir} ${plugin})
    set_target_properties(${plugin} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${dir}/include)
    target_link_libraries(${api} INTERFACE ${plugin})
  endforeach()
endfunction()

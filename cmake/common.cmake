# Source sets. Naming carries the platform: `*_win32.cpp` files call Windows and are built only
# into the installer; every other file under the subsystem folders is portable (no windows.h) and
# is built for both, so the native build proves it and runs it under the sanitizers.
set(HALBERD_SUBSYSTEMS foundation foundation/format engine variables install integration uninstall ui crash)
set(HALBERD_FORMAT_SOURCES "")
set(HALBERD_WIN32_SOURCES "")
foreach(dir ${HALBERD_SUBSYSTEMS})
  file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  foreach(f ${found})
    get_filename_component(n ${f} NAME)
    if(n MATCHES "_win32\\.cpp$")
      list(APPEND HALBERD_WIN32_SOURCES ${f})
    elseif(NOT n STREQUAL "xz_encode.cpp" AND NOT n STREQUAL "main.cpp")
      list(APPEND HALBERD_FORMAT_SOURCES ${f})
    endif()
  endforeach()
endforeach()

function(halberd_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
endfunction()

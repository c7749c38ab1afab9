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

# The wizard's default pictures, xz-packed for the installer's resources (ui/page_pictures.h); the
# native tests unpack the same files. CRC-32 is the check the installer's decoder needs.
find_program(HALBERD_XZ xz REQUIRED)
set(HALBERD_PICTURES_DIR ${CMAKE_BINARY_DIR}/pictures)
set(HALBERD_PACKED_PICTURES "")
foreach(picture wizard_side wizard_banner)
  set(packed ${HALBERD_PICTURES_DIR}/${picture}.bmp.xz)
  add_custom_command(OUTPUT ${packed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${HALBERD_PICTURES_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/ui/${picture}.bmp ${HALBERD_PICTURES_DIR}/${picture}.bmp
    COMMAND ${HALBERD_XZ} --force --format=xz --check=crc32 -9e ${HALBERD_PICTURES_DIR}/${picture}.bmp
    DEPENDS ${CMAKE_SOURCE_DIR}/ui/${picture}.bmp
    COMMENT "Packing ${picture}.bmp" VERBATIM)
  list(APPEND HALBERD_PACKED_PICTURES ${packed})
endforeach()
add_custom_target(halberd_pictures DEPENDS ${HALBERD_PACKED_PICTURES})

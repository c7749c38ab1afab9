# Windows build: the installer stub and the Windows unit tests, statically linked so that the
# executable needs no MinGW, libstdc++ or zlib DLL beside it.
include(${CMAKE_SOURCE_DIR}/cmake/common.cmake)

set(HALBERD_LZMA_DECODER_PREFIX "/opt/halberd-deps/mingw-liblzma-decoder" CACHE PATH "liblzma decoders cross-built for MinGW")
set(LZMA_INCLUDE_DIR ${HALBERD_LZMA_DECODER_PREFIX}/include)
set(LZMA_LIBRARY ${HALBERD_LZMA_DECODER_PREFIX}/lib/liblzma.a)
set(ZLIB_STATIC /usr/i686-w64-mingw32/lib/libz.a)
if(NOT EXISTS ${LZMA_LIBRARY})
  message(FATAL_ERROR "liblzma for MinGW not found at ${LZMA_LIBRARY}: run scripts/setup.sh")
endif()

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 LZMA_API_STATIC)
add_compile_options(-Os -ffunction-sections -fdata-sections)
add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--gc-sections -s)

add_library(halberd_format STATIC ${HALBERD_FORMAT_SOURCES})
target_include_directories(halberd_format PUBLIC ${CMAKE_SOURCE_DIR} ${LZMA_INCLUDE_DIR})
target_link_libraries(halberd_format PUBLIC ${ZLIB_STATIC} ${LZMA_LIBRARY})
halberd_warnings(halberd_format)

# Libraries linked at load time are only those Windows always takes from the system folder
# (KnownDLLs); every other DLL is loaded at run time from the system folder (foundation/system_library).
add_library(halberd_engine STATIC ${HALBERD_WIN32_SOURCES})
target_link_libraries(halberd_engine PUBLIC halberd_format kernel32 user32 gdi32 advapi32 shell32 ole32 ws2_32)
halberd_warnings(halberd_engine)

add_executable(halberd-setup WIN32 engine/main.cpp engine/resources.rc ui/wizard_pages.rc)
# The resource compiler finds the packed pictures in the build's picture folder.
set_source_files_properties(ui/wizard_pages.rc PROPERTIES OBJECT_DEPENDS "${HALBERD_PACKED_PICTURES}")
target_include_directories(halberd-setup PRIVATE ${HALBERD_PICTURES_DIR})
target_link_options(halberd-setup PRIVATE -municode)
target_link_libraries(halberd-setup PRIVATE halberd_engine)
halberd_warnings(halberd-setup)

if(HALBERD_TESTS)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  file(GLOB WIN32_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win32/*.cpp)
  add_executable(win32_tests ${WIN32_TEST_SOURCES})
  target_link_libraries(win32_tests PRIVATE halberd_engine GTest::gtest_main)
  target_link_options(win32_tests PRIVATE -mconsole)
  # The tests of the page pictures read them from the installer beside the test program.
  add_dependencies(win32_tests halberd-setup)
  # Holds a file open without sharing: the locked files of the unit and end-to-end tests.
  add_executable(hold_file tests/tools/hold_file.cpp)
  target_link_options(hold_file PRIVATE -municode -mconsole)
  add_dependencies(win32_tests hold_file)
  # Holds a named mutex (a second running installer), records a command line (a stand-in for an
  # earlier version's uninstaller), shows a window (a running program to close): the end-to-end
  # tests of the checks before installing.
  foreach(tool hold_mutex record_command_line show_window)
    add_executable(${tool} tests/tools/${tool}.cpp)
    target_link_options(${tool} PRIVATE -municode -mconsole)
    add_dependencies(win32_tests ${tool})
  endforeach()
  # A DLL that leaves a marker when loaded, planted under system DLL names beside a program, and a
  # program that loads a DLL as the installer does (or by bare name): the tests that no planted
  # DLL is ever loaded.
  add_library(planted_dll SHARED tests/tools/planted_dll.cpp)
  set_target_properties(planted_dll PROPERTIES PREFIX "")
  add_dependencies(win32_tests planted_dll)
  add_executable(load_library tests/tools/load_library.cpp)
  target_link_options(load_library PRIVATE -municode -mconsole)
  target_link_libraries(load_library PRIVATE halberd_engine)
  add_dependencies(win32_tests load_library)
  # COM servers for the end-to-end tests of the COM registration: one that registers, one that
  # registers but reports a failure. Undecorated exports, as regsvr32 looks them up.
  add_library(test_com_server SHARED tests/tools/test_com_server.cpp)
  add_library(test_com_refusing SHARED tests/tools/test_com_server.cpp)
  target_compile_definitions(test_com_refusing PRIVATE HALBERD_REFUSING_SERVER)
  foreach(server test_com_server test_com_refusing)
    set_target_properties(${server} PROPERTIES PREFIX "")
    target_link_options(${server} PRIVATE -Wl,--kill-at)
    add_dependencies(win32_tests ${server})
  endforeach()
  # Reads a shortcut back through the shell's link object: the end-to-end tests of the shortcuts.
  add_executable(read_shortcut tests/tools/read_shortcut.cpp)
  target_link_options(read_shortcut PRIVATE -municode -mconsole)
  target_link_libraries(read_shortcut PRIVATE ole32 shell32)
  add_dependencies(win32_tests read_shortcut)
  # Drives other programs' windows (waits, lists controls, presses, types, takes pictures) and
  # shows one message box of the installer: the tests of the look and the message box.
  add_executable(window_driver tests/tools/window_driver.cpp)
  target_link_options(window_driver PRIVATE -municode -mconsole)
  add_dependencies(win32_tests window_driver)
  add_executable(show_message_box tests/tools/show_message_box.cpp)
  target_link_options(show_message_box PRIVATE -municode -mconsole)
  target_link_libraries(show_message_box PRIVATE halberd_engine)
  add_dependencies(win32_tests show_message_box)
  # A program that links the crash module and faults on purpose, and one that makes another
  # program crash from outside: the tests of the crash handler (the installer has no crash switch).
  add_executable(crash_test_program tests/tools/crash_test_program.cpp)
  target_link_options(crash_test_program PRIVATE -municode -mconsole)
  target_link_libraries(crash_test_program PRIVATE halberd_engine)
  add_dependencies(win32_tests crash_test_program)
  add_executable(crash_process tests/tools/crash_process.cpp)
  target_link_options(crash_process PRIVATE -municode -mconsole)
  add_dependencies(win32_tests crash_process)
  include(GoogleTest)
  # Discovery runs the test program under Wine at build time; the list is read once per build.
  gtest_discover_tests(win32_tests DISCOVERY_TIMEOUT 120 DISCOVERY_MODE PRE_TEST PROPERTIES LABELS win32)
endif()

# Native (Linux) build: portable code, the pack tool, native tests (ASan + UBSan) and fuzz targets.
include(${CMAKE_SOURCE_DIR}/cmake/common.cmake)

option(HALBERD_SANITIZE "Build with AddressSanitizer and UBSan" ON)
option(HALBERD_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

find_package(ZLIB REQUIRED)
find_path(LZMA_INCLUDE_DIR lzma.h REQUIRED)
find_library(LZMA_LIBRARY lzma REQUIRED)

if(HALBERD_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(HALBERD_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

add_library(halberd_format STATIC ${HALBERD_FORMAT_SOURCES})
target_include_directories(halberd_format PUBLIC ${CMAKE_SOURCE_DIR} ${LZMA_INCLUDE_DIR})
target_link_libraries(halberd_format PUBLIC ZLIB::ZLIB ${LZMA_LIBRARY})
halberd_warnings(halberd_format)

# Encoders are needed only by the pack tool: the installer links the decoders alone.
file(GLOB PACK_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/pack/*.cpp)
list(FILTER PACK_SOURCES EXCLUDE REGEX "/main\\.cpp$")
add_library(halberd_pack_lib STATIC foundation/format/xz_encode.cpp ${PACK_SOURCES})
target_link_libraries(halberd_pack_lib PUBLIC halberd_format)
# The project-file reader uses toml++ header-only (its header, not Debian's shared library), so the
# same source builds the pack tool for Windows later.
find_package(tomlplusplus 3 REQUIRED)
get_target_property(TOMLPLUSPLUS_INCLUDE tomlplusplus::tomlplusplus INTERFACE_INCLUDE_DIRECTORIES)
target_include_directories(halberd_pack_lib SYSTEM PRIVATE ${TOMLPLUSPLUS_INCLUDE})
halberd_warnings(halberd_pack_lib)

add_executable(halberd-pack pack/main.cpp)
target_link_libraries(halberd-pack PRIVATE halberd_pack_lib)
set(HALBERD_PACK_VERSION "1.0.0")
target_compile_definitions(halberd-pack PRIVATE HALBERD_PACK_VERSION="${HALBERD_PACK_VERSION}")
halberd_warnings(halberd-pack)

# Measures the memory and time of unpacking an installer's archive with the installer's own code
# (bench/sizes.py runs it on the installers it packs).
add_executable(unpack_memory bench/unpack_memory.cpp)
target_link_libraries(unpack_memory PRIVATE halberd_format)
halberd_warnings(unpack_memory)

# Installation (cmake --install, and the Debian package made by CPack): the tool in bin/, the stub
# and the language files in share/halberd/, where the tool looks for them. The stub is built by
# the Windows build, a CMake tree of its own: HALBERD_STUB names it (the Makefile passes it).
set(HALBERD_STUB "${CMAKE_SOURCE_DIR}/build/win32/bin/halberd-setup.exe" CACHE FILEPATH
    "The installer stub (halberd-setup.exe of the Windows build) installed beside the pack tool")
install(TARGETS halberd-pack RUNTIME DESTINATION bin)
install(FILES "${HALBERD_STUB}" DESTINATION share/halberd RENAME halberd-setup.exe)
install(DIRECTORY pack/languages/ DESTINATION share/halberd/languages FILES_MATCHING PATTERN "*.txt")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME halberd-pack)
set(CPACK_PACKAGE_VERSION "${HALBERD_PACK_VERSION}")
set(CPACK_PACKAGE_VENDOR "Halberd")
set(CPACK_PACKAGE_CONTACT "Halberd developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Packs Windows installers (Halberd) from a TOML project file")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, zlib1g, liblzma5")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "osslsigncode")
if(HALBERD_SANITIZE)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CPACK_DEBIAN_PACKAGE_DEPENDS}, libasan8, libubsan1")
endif()
include(CPack)

if(HALBERD_TESTS AND NOT HALBERD_FUZZ)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  file(GLOB NATIVE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*.cpp)
  add_executable(native_tests ${NATIVE_TEST_SOURCES})
  target_link_libraries(native_tests PRIVATE halberd_pack_lib GTest::gtest_main)
  target_compile_definitions(native_tests PRIVATE HALBERD_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                                  HALBERD_PICTURES_DIR="${HALBERD_PICTURES_DIR}")
  add_dependencies(native_tests halberd_pictures)
  include(GoogleTest)
  gtest_discover_tests(native_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS native)
  # The installed tool and the Debian package, made from this tree (a few seconds: no build).
  add_test(NAME pack_tool_install
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/native/pack_tool_install_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR} "${HALBERD_STUB}")
  set_tests_properties(pack_tool_install PROPERTIES LABELS native SKIP_RETURN_CODE 77 TIMEOUT 300)
  # Builds installers with damaged setup scripts for the end-to-end tests.
  add_executable(make_test_installer tests/tools/make_installer.cpp)
  target_link_libraries(make_test_installer PRIVATE halberd_pack_lib)
  halberd_warnings(make_test_installer)
  # Makes the uninstaller copy of an installer, for the end-to-end tests to start.
  add_executable(strip_installer tests/tools/strip_installer.cpp)
  target_link_libraries(strip_installer PRIVATE halberd_pack_lib)
  halberd_warnings(strip_installer)
endif()

if(HALBERD_FUZZ)
  file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/fuzz_*.cpp)
  foreach(src ${FUZZ_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE halberd_pack_lib)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  endforeach()
endif()

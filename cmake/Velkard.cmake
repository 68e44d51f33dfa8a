# SPDX-License-Identifier: GPL-3.0-or-later
# Shared build settings: warnings, sanitizers and the test helper.
set(VELKARD_SANITIZE "" CACHE STRING "Sanitizers to build with: empty, 'address,undefined' or 'thread'")

add_compile_options(-Wall -Wextra)
if(VELKARD_SANITIZE)
  add_compile_options(-fsanitize=${VELKARD_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${VELKARD_SANITIZE})
endif()

# libFuzzer build (clang only, scripts/fuzz.sh): every library gets the coverage counters, so the
# fuzzer is guided by the parsers' branches and not only by the harness's.
option(VELKARD_FUZZ "Link fuzz targets with libFuzzer (clang only)" OFF)
if(VELKARD_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  set(CMAKE_C_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()

include(GoogleTest)

# velkard_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [QT])
# Builds one GoogleTest program and registers each of its tests with CTest, so ctest -j runs them in
# parallel. Tests start in their own build folder; GUI tests run on the offscreen platform.
function(velkard_add_test name)
  cmake_parse_arguments(T "QT" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_QT)
    # A main that creates a QApplication first (fonts, widgets and printers need one).
    target_link_libraries(${name} PRIVATE ${T_LIBS} velkard_qt_test_main GTest::gtest GTest::gmock)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  endif()
  # GCC 12 at -O2 takes the standard library's own string and vector copies in the tests' setup
  # code (a literal joined to a string, bytes inserted into a vector) for overlapping or out-of-
  # bounds accesses, known false positives of that compiler; the tests run under ASan instead.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${name} PRIVATE -Wno-restrict -Wno-array-bounds -Wno-stringop-overread)
  endif()
  set(env "QT_QPA_PLATFORM=offscreen")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "${env}" TIMEOUT 120)
endfunction()

# Release builds carry the hardening a Debian package is expected to have (what dpkg-buildflags
# gives): fortified libc calls, stack protector, read-only relocations bound at start.
if(NOT VELKARD_SANITIZE AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  add_compile_options(-D_FORTIFY_SOURCE=2 -fstack-protector-strong -fstack-clash-protection)
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()

# velkard_include_root(TARGET FOLDER)
# Gives TARGET an include folder of its own that holds only FOLDER (a symbolic link to the source
# folder, under the same name), so `#include "FOLDER/X.h"` works for the target and for whatever
# links it, and nothing else of the tree does: a library sees the headers of exactly the libraries
# it links. tests/layers_check then holds the includes against cmake/layers.txt.
function(velkard_include_root target folder)
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${root}/${folder})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

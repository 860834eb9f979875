# Helpers every folder uses to declare its targets the same way.

# Warnings as errors on our own code only (third-party headers come in as SYSTEM).
function(korvo_defaults target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wsign-conversion -Werror)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      # GCC 12 reports overlaps, overflows and out-of-bounds copies inside libstdc++'s own string
      # and vector code at -O3 (GCC bugs 105329, 105651, 107852); these checks give only false
      # alarms there. AddressSanitizer covers what they would catch in our code.
      target_compile_options(${target} PRIVATE -Wno-restrict -Wno-stringop-overflow -Wno-stringop-overread -Wno-array-bounds)
    endif()
  endif()
  if(KORVO_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  if(KORVO_TSAN)
    target_compile_options(${target} PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=thread)
  endif()
  if(KORVO_FUZZ)
    # Coverage feedback for libFuzzer must reach into the libraries the readers call, not only
    # into the fuzz entry point.
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
  if(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # Ship self-contained binaries: no mingw runtime DLLs beside the plug-in.
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
endfunction()

# korvo_library(name SOURCES ... [DEPS ...] [PRIVATE_DEPS ...]): a static library of the project.
# DEPS are the libraries its headers include (their folders reach its users too); PRIVATE_DEPS
# are used only inside it, so a user that includes their headers must ask for them itself.
function(korvo_library name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  korvo_defaults(${name})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  if(A_DEPS)
    target_link_libraries(${name} PUBLIC ${A_DEPS})
  endif()
  if(A_PRIVATE_DEPS)
    target_link_libraries(${name} PRIVATE ${A_PRIVATE_DEPS})
  endif()
endfunction()

# korvo_gtest(name SOURCES ... [DEPS ...] [LABELS ...]): one GoogleTest program, its tests
# discovered at test time so that cross builds and sanitizer builds behave alike.
function(korvo_gtest name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES} ${CMAKE_SOURCE_DIR}/tests/support/testEnvironment.cpp)
  korvo_defaults(${name})
  target_compile_definitions(${name} PRIVATE
    KORVO_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}" KORVO_TEST_BINARY_DIR="${CMAKE_BINARY_DIR}")
  # What every suite may use: golden-file paths and the like (tests/support).
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main ${A_DEPS})
  if(NOT A_LABELS)
    set(A_LABELS unit)
  endif()
  # KORVO_SOURCE_DIR and KORVO_BINARY_DIR reach the tests through testEnvironment.cpp (a CTest
  # ENVIRONMENT with two entries does not survive test discovery).
  # A test that calls GTEST_SKIP is listed as skipped, not as passed.
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${A_LABELS}" SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
endfunction()

# korvo_fuzzer(name SOURCES ... [DEPS ...] [CORPUS dir]): a libFuzzer target for one file reader.
# Without KORVO_FUZZ the same entry point is linked to a small driver that replays the seed
# corpus, so every reader's fuzz target still builds and runs in the normal test suite.
function(korvo_fuzzer name)
  cmake_parse_arguments(A "" "CORPUS" "SOURCES;DEPS" ${ARGN})
  if(KORVO_FUZZ)
    add_executable(${name} ${A_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${name} ${A_SOURCES} ${CMAKE_SOURCE_DIR}/tests/fuzz/replayMain.cpp)
  endif()
  korvo_defaults(${name})
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  if(KORVO_FUZZ)
    # A short run of every target (ctest --preset fuzz); what it finds new goes to the build tree,
    # the seeds stay as they are.
    set(_found "${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus")
    file(MAKE_DIRECTORY "${_found}")
    add_test(NAME ${name}_run COMMAND ${name} -max_total_time=${KORVO_FUZZ_SECONDS} -rss_limit_mb=2048
                                      -print_final_stats=1 "${_found}" ${A_CORPUS})
    set_tests_properties(${name}_run PROPERTIES LABELS "fuzz" TIMEOUT 600)
  elseif(KORVO_BUILD_TESTS)
    if(A_CORPUS)
      add_test(NAME ${name}_replay COMMAND ${name} ${A_CORPUS})
    else()
      add_test(NAME ${name}_replay COMMAND ${name})
    endif()
    set_tests_properties(${name}_replay PROPERTIES LABELS "fuzz")
  endif()
endfunction()

# korvo_benchmark(name SOURCES ... [DEPS ...])
function(korvo_benchmark name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${A_SOURCES})
  korvo_defaults(${name})
  target_link_libraries(${name} PRIVATE benchmark::benchmark benchmark::benchmark_main ${A_DEPS})
endfunction()

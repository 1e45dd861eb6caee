# Shared build helpers: compiler flags, optional subfolders, tests and fuzz targets.

function(zarnik_setup_compiler)
  add_compile_options(-Wall -Wextra -Wpedantic)
  if(ZARNIK_WERROR)
    add_compile_options(-Werror)
  endif()
  # GCC 12 at -O3 (the Release flags) warns inside libstdc++'s inlined string and vector copies
  # of four of our files: a std::string built with operator+ or insert "may overlap up to
  # 9223372036854775813 bytes at offset -3" (-Wrestrict), and a record appended to a byte vector
  # "writes into a region of size 0" (-Warray-bounds, -Wstringop-overflow). Both are false: the
  # sizes and offsets it names lie in paths that the library's own length checks rule out, and
  # only appear once -O3's inlining spreads an impossible value range into the copy. The same
  # code is clean at -O2 (the CI build, with these warnings as errors), with clang, and under
  # AddressSanitizer. So they are silenced for GCC 12's Release builds alone.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    add_compile_options($<$<CONFIG:Release>:-Wno-restrict> $<$<CONFIG:Release>:-Wno-array-bounds>
      $<$<CONFIG:Release>:-Wno-stringop-overflow>)
  endif()
  if(ZARNIK_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
  endif()
  if(ZARNIK_FUZZ)
    # Edge counters in every library, not only in the fuzz targets' own files: libFuzzer is
    # guided by what the parsers under test do, which live in the libraries. Only the counters:
    # the comparison tracing of -fsanitize=fuzzer-no-link would more than double the time of the
    # other tests of this build (the camera-file writer's from 28 to 67 seconds).
    add_compile_options(-fsanitize-coverage=inline-8bit-counters,pc-table)
    add_link_options(-fsanitize=fuzzer-no-link)  # the counters' runtime, in every program
  endif()
endfunction()

function(zarnik_optional_subdirectory dir)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endfunction()

# zarnik_add_gtest(name LABEL label SOURCES ... LIBS ... [TIMEOUT s])
# One test binary is one CTest test; the label groups it by subsystem.
function(zarnik_add_gtest name)
  cmake_parse_arguments(T "" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} zarnik_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${T_LABEL}" TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "ZARNIK_SOURCE_DIR=${PROJECT_SOURCE_DIR};ZARNIK_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()

# zarnik_add_fuzzer(name LABEL label SOURCES ... LIBS ... CORPUS dir...)
# With ZARNIK_FUZZ (clang) this is a libFuzzer target run for a bounded number of inputs;
# otherwise the same entry point is linked with a small driver that replays the seed corpus,
# so every build keeps the parsers' hostile-input cases as a regression test.
function(zarnik_add_fuzzer name)
  cmake_parse_arguments(F "" "LABEL;RUNS" "SOURCES;LIBS;CORPUS" ${ARGN})
  if(NOT F_RUNS)
    set(F_RUNS 20000)
  endif()
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  if(ZARNIK_FUZZ)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    # libFuzzer writes the inputs it finds into its first folder: a scratch one in the build
    # tree, so the seed folder in the sources stays as committed.
    set(scratch ${CMAKE_CURRENT_BINARY_DIR}/${name}-found)
    file(MAKE_DIRECTORY ${scratch})
    # At most RUNS inputs and at most 15 seconds, whichever comes first: the corpus a run leaves
    # in the scratch folder makes the next run's inputs slower, and CI time stays bounded.
    add_test(NAME ${name} COMMAND ${name} -runs=${F_RUNS} -max_total_time=15 -max_len=4096 -rss_limit_mb=1024
      ${scratch} ${F_CORPUS})
  else()
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common/fuzz_replay_main.cpp)
    add_test(NAME ${name} COMMAND ${name} ${F_CORPUS})
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${F_LABEL}" TIMEOUT 300)
  # Several targets write and sync files for every input: in memory that costs next to nothing.
  if(IS_DIRECTORY /dev/shm)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT TMPDIR=/dev/shm)
  endif()
endfunction()

# Installed programs find the libraries of the same install beside them (../lib from bin) and
# the libraries find each other, wherever the prefix lies: a temporary folder, /usr/local or
# the package's /usr. No LD_LIBRARY_PATH, no environment at all.
function(zarnik_setup_install_paths)
  file(RELATIVE_PATH lib_from_bin ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set(CMAKE_INSTALL_RPATH "$ORIGIN/${lib_from_bin};$ORIGIN" PARENT_SCOPE)
  # The programs look for their data at ../share/zarnik beside themselves (platform/resources.cpp).
  file(RELATIVE_PATH data_from_bin ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DATADIR}/zarnik)
  if(NOT data_from_bin STREQUAL "../share/zarnik")
    message(WARNING "The installed programs look for their data in ../share/zarnik beside them, "
                    "not in ${data_from_bin}: set ZARNIK_RESOURCES when running them")
  endif()
endfunction()

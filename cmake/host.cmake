# Native Linux build: the portable core and its GoogleTest tests.
find_package(GTest REQUIRED)
include(GoogleTest)

file(GLOB TAVIK_UNIT_TESTS CONFIGURE_DEPENDS tests/unit/*.cpp)
add_executable(tavik_tests ${TAVIK_UNIT_TESTS} bench/common/synthetic_registry.cpp)
target_include_directories(tavik_tests PRIVATE tests)
target_link_libraries(tavik_tests PRIVATE tavik_core tavik_memory tavik_json GTest::gtest GTest::gtest_main)
gtest_discover_tests(tavik_tests DISCOVERY_TIMEOUT 60
  PROPERTIES ENVIRONMENT "TAVIK_SOURCE_DIR=${CMAKE_SOURCE_DIR}")

if(TAVIK_BENCH)
  find_package(benchmark REQUIRED)
  file(GLOB TAVIK_BENCH_SOURCES CONFIGURE_DEPENDS bench/host/*.cpp)
  add_executable(tavik_bench ${TAVIK_BENCH_SOURCES} bench/common/synthetic_registry.cpp)
  target_link_libraries(tavik_bench PRIVATE tavik_core tavik_memory benchmark::benchmark benchmark::benchmark_main)
  # Writes the same synthetic registry for the Wine benchmark.
  add_executable(tavik-bench-registry bench/common/gen_bench_registry.cpp
                 bench/common/synthetic_registry.cpp)
  target_link_libraries(tavik-bench-registry PRIVATE tavik_base)
endif()

if(TAVIK_FUZZ)
  file(GLOB TAVIK_FUZZ_SOURCES CONFIGURE_DEPENDS tests/fuzz/*.cpp)
  foreach(source ${TAVIK_FUZZ_SOURCES})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE tavik_core tavik_memory)
  endforeach()
endif()
target_compile_definitions(tavik_tests PRIVATE TAVIK_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

# No source file may include a header of a layer above its own.
add_test(NAME include_layers COMMAND ${CMAKE_SOURCE_DIR}/tools/check-layers.sh)

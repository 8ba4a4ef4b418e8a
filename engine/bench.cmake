# The engine's benchmark (figures, not a test), included from
# bench/CMakeLists.txt: build/bin/bench-engine.
add_executable(bench-engine ${CMAKE_SOURCE_DIR}/bench/bench_engine.cpp)
target_link_libraries(bench-engine PRIVATE orvin_engine_core PkgConfig::BENCH_LIBAV)

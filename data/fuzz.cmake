# libFuzzer target for the MP4 reader: cmake -DORVIN_FUZZ=ON with clang.
# The reader's sources are compiled into the target so they are instrumented.
option(ORVIN_FUZZ "Build the MP4 reader fuzz target (clang only)" OFF)
if(ORVIN_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ORVIN_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++)")
  endif()
  set(fuzz_flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
                 -fno-omit-frame-pointer)
  add_executable(fuzz_mov_format
    ${CMAKE_CURRENT_LIST_DIR}/../tests/fuzz/fuzz_mov_format.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mov_format.cpp
    ${CMAKE_CURRENT_LIST_DIR}/rm_sensor_data.cpp)
  target_include_directories(fuzz_mov_format PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
  target_compile_definitions(fuzz_mov_format PRIVATE _FILE_OFFSET_BITS=64)
  target_compile_options(fuzz_mov_format PRIVATE ${fuzz_flags})
  target_link_options(fuzz_mov_format PRIVATE ${fuzz_flags})
  target_link_libraries(fuzz_mov_format PRIVATE Qt5::Core)
endif()

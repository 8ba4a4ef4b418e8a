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

# libFuzzer target for the recovery of cut-off recordings, on the same terms.
if(ORVIN_FUZZ)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(FUZZ_LIBAV REQUIRED IMPORTED_TARGET libavcodec libavutil)
  set(recover_sources rm_aac_sizer rm_bit_reader rm_box_view rm_file_window rm_key_frame_check
                      rm_mp4_index rm_nal_scanner rm_recover_moov rm_recover_walker
                      rm_sensor_record_check)
  list(TRANSFORM recover_sources PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
  list(TRANSFORM recover_sources APPEND .cpp)
  add_executable(fuzz_recover_walker
    ${CMAKE_CURRENT_LIST_DIR}/../tests/fuzz/fuzz_recover_walker.cpp ${recover_sources})
  target_include_directories(fuzz_recover_walker PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
  target_compile_options(fuzz_recover_walker PRIVATE ${fuzz_flags})
  target_link_options(fuzz_recover_walker PRIVATE ${fuzz_flags})
  target_link_libraries(fuzz_recover_walker PRIVATE Qt5::Core PkgConfig::FUZZ_LIBAV)
endif()

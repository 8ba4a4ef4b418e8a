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
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_mov_format.cpp
    ${CMAKE_SOURCE_DIR}/mp4/mov_format.cpp
    ${CMAKE_SOURCE_DIR}/recordings/rm_sensor_data.cpp)
  target_include_directories(fuzz_mov_format PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(fuzz_mov_format PRIVATE _FILE_OFFSET_BITS=64)
  target_compile_options(fuzz_mov_format PRIVATE ${fuzz_flags})
  target_link_options(fuzz_mov_format PRIVATE ${fuzz_flags})
  target_link_libraries(fuzz_mov_format PRIVATE Qt5::Core)
endif()

# libFuzzer target for the recovery of cut-off recordings, on the same terms.
if(ORVIN_FUZZ)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(FUZZ_LIBAV REQUIRED IMPORTED_TARGET libavcodec libavutil)
  set(recover_sources app/rm_held_pages mp4/rm_aac_sizer mp4/rm_bit_reader mp4/rm_box_view
                      mp4/rm_box_writer mp4/rm_clean_decode mp4/rm_codec_context
                      mp4/rm_file_window mp4/rm_key_frame_check mp4/rm_mp4_index mp4/rm_nal_scanner
                      recovery/rm_recover_moov recovery/rm_recover_walker
                      recovery/rm_sensor_record_check)
  list(TRANSFORM recover_sources PREPEND ${CMAKE_SOURCE_DIR}/)
  list(TRANSFORM recover_sources APPEND .cpp)
  add_executable(fuzz_recover_walker
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_recover_walker.cpp ${recover_sources})
  target_include_directories(fuzz_recover_walker PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(fuzz_recover_walker PRIVATE ${fuzz_flags})
  target_link_options(fuzz_recover_walker PRIVATE ${fuzz_flags})
  target_link_libraries(fuzz_recover_walker PRIVATE Qt5::Core PkgConfig::FUZZ_LIBAV)
endif()

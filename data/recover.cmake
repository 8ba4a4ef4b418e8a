# Recovery of recordings cut off by a power loss: walks their media data
# with FFmpeg's decoders and writes a new index.
find_package(PkgConfig REQUIRED)
pkg_check_modules(RECOVER_LIBAV REQUIRED IMPORTED_TARGET libavcodec libavutil)
target_sources(orvin_data PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/rm_aac_sizer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rm_bit_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rm_box_view.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rm_file_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rm_key_frame_check.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rm_mp4_index.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rm_nal_scanner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rm_recover_moov.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rm_recover_walker.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rm_recovery.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rm_sensor_record_check.cpp)
target_link_libraries(orvin_data PUBLIC PkgConfig::RECOVER_LIBAV)

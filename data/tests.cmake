# Tests of orvin_data, included from tests/CMakeLists.txt after orvin_test is
# defined. They link no GUI module and need no display.
foreach(name test_mov_format test_sensor_data test_video_list test_backup)
  orvin_test(${name} LIBS orvin_data)
endforeach()
orvin_test(test_recover LIBS orvin_data)
add_dependencies(test_recover orvin-make-card orvin-tool)

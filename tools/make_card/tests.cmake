# Test of the sample card generator, included from tests/CMakeLists.txt after
# orvin_test is defined. It runs the built tool (ORVIN_BIN_DIR) and ffprobe;
# when the MP4 reader library is part of the build it also reads the files
# with it.
orvin_test(test_make_card LIBS Qt5::Widgets)
add_dependencies(test_make_card orvin-make-card)
set_property(TEST test_make_card APPEND PROPERTY ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
if(TARGET orvin_recordings)
  target_link_libraries(test_make_card PRIVATE orvin_recordings)
  target_compile_definitions(test_make_card PRIVATE ORVIN_HAVE_MOV_READER)
endif()

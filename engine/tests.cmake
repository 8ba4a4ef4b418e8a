# Engine tests, included from tests/CMakeLists.txt after orvin_test is
# defined. They make their media with the ffmpeg command-line tool at test
# time. Only the renderer test links widgets; it needs a display (xvfb-run).
foreach(name test_engine_clock test_engine_player test_engine_seek test_engine_dual
             test_engine_capture test_engine_audio)
  orvin_test(${name} LIBS orvin_engine_core)
endforeach()
orvin_test(test_engine_renderers LIBS orvin_engine_widgets)
if(ORVIN_SANITIZER STREQUAL "thread")
  # Mesa's default software renderer (llvmpipe) runs threads of its own whose
  # locking the sanitizer reports inside swrast_dri.so; softpipe draws on the
  # calling thread, and the renderers' own hand-overs are still checked.
  set_property(TEST test_engine_renderers APPEND PROPERTY ENVIRONMENT "GALLIUM_DRIVER=softpipe")
endif()

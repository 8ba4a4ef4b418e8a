# Tests of the camera settings, included from tests/CMakeLists.txt after
# orvin_test is defined.
orvin_test(test_cfg LIBS orvin_cfg)
orvin_test(test_settings_controls LIBS orvin_settings)
orvin_test(test_settings_window RESOURCES LIBS orvin_ui)

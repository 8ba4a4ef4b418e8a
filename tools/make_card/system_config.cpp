#include "system_config.h"

#include <cstring>

namespace {

// Offsets 16..95 of the default record; 0..15 hold the model name.
// clang-format off
const unsigned char kDefaults[SystemConfig::kSize - 16] = {
    0, 3, 2, 1, 1, 3,                                               // 16..21
    3,                                                              // 22 volume
    0,                                                              // 23 microphone on
    4,                                                              // 24 G-sensor sensitivity
    10, 10, 10, 0,                                                  // 25..28
    0,                                                              // 29 time stamp on
    1,                                                              // 30 recording option
    2, 4, 0, 1, 7, 7, 0,                                            // 31..37
    2,                                                              // 38 in-screen view
    2,                                                              // 39 LCD brightness
    0,                                                              // 40 automatic brightness on
    0,                                                              // 41 display mode
    0, 0, 1, 0, 0, 0, 0, 0, 1, 1, 0, 3, 0, 1, 1, 1, 0, 7, 1, 0, 0,  // 42..62
    2,                                                              // 63 LCD auto off
    0, 0, 0, 0, 0, 0, 0,                                            // 64..70 on/off settings
    5,                                                              // 71 user speed warning
    0,                                                              // 72 vehicle type
    0, 75,                                                          // 73..74 weight 7.5 t
    0, 50,                                                          // 75..76 length 5.0 m
    0,                                                              // 77 trailer
    0,                                                              // 78 menu language
    25,                                                             // 79 time zone: automatic
    0, 0, 0,                                                        // 80..82 daylight, voice, beep
    1,                                                              // 83 direction off
    0,                                                              // 84 GPS speed
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                                // 85..95
};
// clang-format on

}  // namespace

QByteArray SystemConfig::defaultRecord() {
    char record[kSize] = {};
    std::memcpy(record, kModel, std::strlen(kModel));
    std::memcpy(record + 16, kDefaults, sizeof kDefaults);
    return QByteArray(record, kSize);
}

QByteArray SystemConfig::versionLine() {
    return QByteArray(kModel) + " FW 1.0.3\r\n";
}

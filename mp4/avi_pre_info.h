#pragma once

#include <QtGlobal>

// Which pass a MOVFormat reader runs when it is constructed.
enum AVIReadMode : int {
    READ_SENSOR = 0,    // collect the camera's sensor records
    READ_DURATION = 1,  // duration from the movie header
    READ_MOVSIZE = 2,   // size of the video samples or the rear-video flag
    READ_REPAIR = 3,    // hide trailing garbage at the top level
};

// Result of the duration and size passes. Callers zero it before use.
struct _AVIPreInfo {
    bool found;          // a duration has been found
    quint32 durationMs;  // duration in milliseconds
    bool moviFound;      // a movie-data size has been found
    quint32 moviSize;    // movie data size in bytes
};

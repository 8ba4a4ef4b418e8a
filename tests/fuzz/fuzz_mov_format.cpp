// Feeds arbitrary bytes to every pass of the MP4 reader and to the sensor
// conversion, through the same entry points the viewer uses. Run with
// -malloc_limit_mb=64 to catch allocations that follow an unchecked count.
#include <QtGlobal>
#include <cstdint>
#include <cstdio>

#include "data/mov_format.h"
#include "data/rm_sensor_data.h"

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// The reader works on a stdio stream; an anonymous temporary file is
// writable, so the repair pass runs too.
FILE* streamOf(const uint8_t* data, size_t size) {
    FILE* file = tmpfile();
    if (file && (fwrite(data, 1, size, file) != size || fflush(file) != 0)) {
        fclose(file);
        return nullptr;
    }
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qInstallMessageHandler(quiet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = streamOf(data, size);
    if (!file) {
        return 0;
    }
    _AVIPreInfo info = {};
    MOVFormat::duration(file, &info);
    info = {};
    MOVFormat::movSize(file, &info);
    {
        RMSensorData sensor(file, FILE_TYPE_MP4);
        sensor.clipWithDuration(info.durationMs);
        sensor.fixGPS();
    }
    if (MOVFormat::fix(file)) {
        // A repaired file must read back without trouble.
        info = {};
        MOVFormat::duration(file, &info);
        RMSensorData again(file, FILE_TYPE_MP4);
    }
    fclose(file);
    return 0;
}

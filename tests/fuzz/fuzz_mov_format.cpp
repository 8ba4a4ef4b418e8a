// Feeds arbitrary bytes to every pass of the MP4 reader and to the sensor
// conversion, through the same entry points the viewer uses. Run with
// -malloc_limit_mb=64 to catch allocations that follow an unchecked count.
#include <QtGlobal>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "mp4/mov_format.h"
#include "recordings/rm_sensor_data.h"

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// The reader works on a stdio stream; a writable stream over a copy of the
// input in memory lets the repair pass run too, without touching the disk.
FILE* streamOf(const uint8_t* data, size_t size, std::vector<char>* buffer) {
    if (size == 0) {
        return tmpfile();  // a memory stream cannot be empty
    }
    buffer->assign(data, data + size);
    return fmemopen(buffer->data(), buffer->size(), "r+");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qInstallMessageHandler(quiet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> buffer;
    FILE* file = streamOf(data, size, &buffer);
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

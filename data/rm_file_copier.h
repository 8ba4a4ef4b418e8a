#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>

// Copies one file so that nothing is ever half there: the data goes to a
// temporary file in the target's folder, is flushed to the device, read back
// and compared (size and checksum) and only then renamed over the target. An
// existing target is replaced in one step, never removed first. Any failure
// removes the temporary file and leaves the target as it was.
class RMFileCopier {
public:
    static bool copy(const QString& source, const QString& target, QString* error = nullptr);

    // Tests inject faults: called before each write with its offset and
    // length; a non-zero errno makes that write fail with it.
    static void setWriteFault(std::function<int(qint64 offset, qint64 length)> fault);

    static constexpr qint64 kBufferSize = 4 * 1024 * 1024;

private:
    static bool _writeAll(int fd, const char* data, qint64 length, qint64 written, int* failure);
    static bool _copyData(int in, int out, quint32* crc, qint64* length, QString* error);
    static bool _verify(int fd, qint64 length, quint32 crc, QString* error);
};

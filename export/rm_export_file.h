#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>

// One output file of an export, never seen half-written under its name: the
// data goes to a temporary file in the target's folder (named so that the
// backup's leftover sweep recognises it), is flushed to the device, and only
// then takes the final name. Destroying an uncommitted file removes the
// temporary file.
class RMExportFile {
public:
    RMExportFile() = default;
    RMExportFile(const RMExportFile&) = delete;
    RMExportFile& operator=(const RMExportFile&) = delete;
    ~RMExportFile();

    bool open(const QString& target);
    // Writes at the current position and moves past the data.
    bool write(const char* data, qint64 length);
    bool seek(qint64 position);
    qint64 position() const { return _position; }
    qint64 size() const { return _size; }
    // Flushes, closes and renames the file to its target. Without `replace`
    // an existing target is kept and the commit fails.
    bool commit(bool replace);
    void discard();

    QString target() const { return _target; }
    QString temporaryPath() const { return _temp; }
    QString errorString() const { return _error; }

    // Tests inject faults: called before each write with its offset and
    // length; a non-zero errno makes that write fail with it.
    static void setWriteFault(std::function<int(qint64 offset, qint64 length)> fault);

private:
    bool _fail(const char* what, int error);

    QString _target;
    QString _temp;
    QString _error;
    int _fd = -1;
    qint64 _position = 0;
    qint64 _size = 0;
    qint64 _flushedUpTo = 0;
};

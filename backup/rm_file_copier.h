#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <functional>

// Copies one file so that nothing is ever half there: the data goes to a
// temporary file in the target's folder, is flushed to the device, checked
// against the source's size, read back and compared (size and checksum) and
// only then renamed over the target, with the folder flushed before and
// after. An existing target is replaced in one step, never removed first.
// Any failure before the rename removes the temporary file and leaves the
// target as it was; the one failure after it (the last folder flush) says
// that the copy is in place.
class RMFileCopier {
public:
    // A copy written and flushed but not yet checked and put in place. It
    // owns its temporary file and removes it unless finish() succeeds.
    struct Pending {
        Pending() = default;
        Pending(const Pending&) = delete;
        Pending& operator=(const Pending&) = delete;
        ~Pending();
        void discard();

        QString source;
        QString target;
        QByteArray temp;  // the temporary file's path
        int fd = -1;
        quint32 crc = 0;  // of the source, as it was read
        qint64 length = 0;
        // Asked after every buffer, while writing and while checking; when
        // it says stop, the copy is dropped and `cancelled` is set.
        std::function<bool()> stop;
        bool cancelled = false;
        // Sees every buffer read from the source, in order, as it is read:
        // a caller can hash the data on the way without reading it twice.
        std::function<void(const char* data, qint64 length)> observe;
    };

    static bool copy(const QString& source, const QString& target, QString* error = nullptr);
    // The two halves of copy(), so a caller can check one file while the
    // next one is written: write the data and flush it...
    static bool write(const QString& source, const QString& target, Pending* pending,
                      QString* error = nullptr);
    // ...then read it back, compare, and rename it into place.
    static bool finish(Pending* pending, QString* error = nullptr);

    // True for the name of a temporary file that write() makes (and that a
    // crash or a pulled card may leave behind).
    static bool isTemporaryName(const QString& fileName);
    // Removes such files from a folder; returns how many went.
    static int removeLeftovers(const QString& folder);

    // Tests inject faults: called before each write with its offset and
    // length; a non-zero errno makes that write fail with it.
    static void setWriteFault(std::function<int(qint64 offset, qint64 length)> fault);
    // Tests corrupt data on its way to the disk: true flips the first byte
    // of the buffer written at that offset.
    static void setCorruptFault(std::function<bool(qint64 offset)> fault);
    // Tests make the sync of the target's folder fail with this errno.
    static void setFolderSyncFault(int error);

    static constexpr qint64 kBufferSize = 4 * 1024 * 1024;

private:
    static bool _fail(const QString& source, const QString& target, const QString& reason,
                      QString* error);
    static bool _writeAll(int fd, const char* data, qint64 length, qint64 written, int* failure);
    // Reads fd to its end in chunks handed to use; false on a read error or
    // when use says stop.
    static bool _readAll(int fd, const char* what, QString* error,
                         const std::function<bool(const char*, qint64)>& use);
    static bool _copyData(int in, Pending* pending, QString* error);
    static bool _verify(Pending* pending, QString* error);
    static bool _stopped(Pending* pending, QString* error);
    static bool _syncFolder(const QString& folder, QString* error);
};

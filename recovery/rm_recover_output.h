#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/rm_held_pages.h"
#include "recovery/rm_recover_patch.h"

// Writes a recovered recording. The original's bytes are copied on a thread
// of their own while the recovery still reads the file: by the kernel
// within a file system, as cp does; between file systems (as from a card)
// through a buffer of ours that the device writes from directly, past the
// page cache, where the file system allows it, else through the page
// cache. The recovery then says where the data ends, and the changed
// headers and the new movie box follow. The file is flushed under a
// temporary name of its own pattern, put in place by a hard link (or, where
// links fail, a rename after a last look), and the folder is flushed. Any
// failure, a cancel or the object's end before that removes the temporary
// file and the folders made for it.
class RMRecoverOutput {
public:
    RMRecoverOutput() = default;
    ~RMRecoverOutput();
    RMRecoverOutput(const RMRecoverOutput&) = delete;
    RMRecoverOutput& operator=(const RMRecoverOutput&) = delete;

    // Checks that the target is free, makes its folder (each new folder
    // flushed into its parent), creates the temporary file and starts
    // copying the source's first `limit` bytes.
    bool start(const QString& source, const QString& target, qint64 limit, QString* error);
    // Bytes copied so far (any thread).
    qint64 copied() const { return _copied.load(); }
    // The data ends at `end`: the copy is finished there (asking
    // `keepGoing` with the bytes copied now and then; false cancels), the
    // patches and the movie box written, the file flushed and put in place.
    bool finish(qint64 end, const std::vector<RMRecoverPatch>& patches, const QByteArray& moov,
                const std::function<bool(qint64 copied)>& keepGoing, QString* error,
                bool* cancelled);

    static bool isTemporaryName(const QString& fileName);
    static int removeLeftovers(const QString& folder);

    // Faults for tests: a write at an offset fails with the errno the
    // function gives (0: none); the link, a folder's flush; the kernel's
    // copy made unavailable.
    static void setWriteFault(std::function<int(qint64 offset)> fault);
    static void setLinkFault(int error);
    static void setFolderSyncFault(int error);
    static void setKernelCopy(bool allowed);

private:
    void _copyLoop();
    bool _copyChunk(qint64 at, qint64 length, QString* error);
    bool _copyRange(qint64 at, qint64 length, QString* error);
    bool _copyDirect(qint64 at, qint64 length, QString* error);
    bool _copyByBuffer(qint64 at, qint64 length, QString* error);
    char* _block(qint64 at, qint64 length, QString* error);
    bool _writeAt(qint64 pos, const char* data, qint64 length, QString* error);
    void _startWriteback(qint64 at, qint64 length);
    void _stopCopy();
    bool _place(QString* error);
    bool _makeFolder(const QString& folder, QString* error);
    static bool _syncFolder(const QString& folder, QString* error);

    // Set by start() before the copier runs, then read-only.
    QString _target;
    QString _folder;
    QByteArray _temp;          // the temporary file's path; empty once it is gone
    QStringList _madeFolders;  // removed again, when empty, unless the output is placed
    bool _placed = false;
    int _in = -1;
    int _out = -1;

    std::thread _copier;
    std::atomic<qint64> _copied{0};
    std::atomic<bool> _stop{false};
    std::atomic<bool> _done{false};  // the copier has ended
    // Guarded by _lock: where the copy ends, whether that is final, why it
    // failed.
    std::mutex _lock;
    std::condition_variable _wake;
    qint64 _limit = 0;
    bool _final = false;
    QString _copyError;
    enum Method { COPY_RANGE, DIRECT, BUFFER };
    struct Free {
        void operator()(char* p) const { std::free(p); }
    };
    Method _method = COPY_RANGE;  // copier thread only
    int _outDirect = -1;       // copier thread only: the output opened to write past the page cache
    RMHeldPages _sourcePages;  // copier thread only
    std::unique_ptr<char, Free> _buffer;  // copier thread only
};

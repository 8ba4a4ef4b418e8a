#include "recovery/rm_recover_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

namespace {
constexpr qint64 kCopyBlock = 4 << 20;
// Offsets, lengths and memory of writes past the page cache are multiples
// of this, which every block device takes.
constexpr qint64 kDirectAlign = 4096;
// The temporary name of an output: "." + its name + this + six characters.
const char kTempInfix[] = ".recovering-";
constexpr int kTempRandom = 6;

std::function<int(qint64)>& writeFault() {
    static std::function<int(qint64)> fault;
    return fault;
}
std::atomic<int> gLinkFault{0};
std::atomic<int> gFolderSyncFault{0};
std::atomic<bool> gKernelCopy{true};

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}
}  // namespace

void RMRecoverOutput::setWriteFault(std::function<int(qint64)> fault) {
    writeFault() = std::move(fault);
}

void RMRecoverOutput::setLinkFault(int error) {
    gLinkFault = error;
}

void RMRecoverOutput::setFolderSyncFault(int error) {
    gFolderSyncFault = error;
}

void RMRecoverOutput::setKernelCopy(bool allowed) {
    gKernelCopy = allowed;
}

bool RMRecoverOutput::isTemporaryName(const QString& fileName) {
    const int infix = fileName.lastIndexOf(kTempInfix);
    if (!fileName.startsWith('.') || infix < 2 ||
        fileName.size() != infix + int(sizeof kTempInfix) - 1 + kTempRandom) {
        return false;
    }
    for (int i = fileName.size() - kTempRandom; i < fileName.size(); ++i) {
        const QChar c = fileName.at(i);
        if (c.unicode() > 127 || !c.isLetterOrNumber()) {
            return false;
        }
    }
    return true;
}

int RMRecoverOutput::removeLeftovers(const QString& folder) {
    int removed = 0;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (isTemporaryName(name) && QFile::remove(dir.filePath(name))) {
            qInfo() << "RMRecoverOutput" << __LINE__ << "removed leftover" << dir.filePath(name);
            ++removed;
        }
    }
    return removed;
}

RMRecoverOutput::~RMRecoverOutput() {
    _stopCopy();
    _sourcePages.detach();
    if (_in >= 0) {
        ::close(_in);
    }
    if (_out >= 0) {
        ::close(_out);
    }
    if (_outDirect >= 0) {
        ::close(_outDirect);
    }
    if (!_temp.isEmpty()) {
        ::unlink(_temp.constData());
    }
    if (!_placed) {
        for (auto folder = _madeFolders.crbegin(); folder != _madeFolders.crend(); ++folder) {
            QDir().rmdir(*folder);  // only when empty
        }
    }
}

bool RMRecoverOutput::_syncFolder(const QString& folder, QString* error) {
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot open the folder " + folder + " to flush it: " + errorText(errno);
        return false;
    }
    const int fault = gFolderSyncFault;
    const int failure = fault ? fault : (::fsync(fd) == 0 ? 0 : errno);
    ::close(fd);
    // File systems that cannot sync a folder say EINVAL; their entries
    // stand as the system wrote them.
    if (failure != 0 && failure != EINVAL) {
        *error = "flushing the folder " + folder + " failed: " + errorText(failure);
        return false;
    }
    return true;
}

// Makes the folder and the missing ones above it, each flushed into its
// parent so that it survives a power loss with the file put in it.
bool RMRecoverOutput::_makeFolder(const QString& folder, QString* error) {
    QStringList missing;
    QString at = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    while (!QFileInfo::exists(at)) {
        missing.prepend(at);
        const QString up = QFileInfo(at).path();
        if (up == at) {
            break;
        }
        at = up;
    }
    for (const QString& one : missing) {
        if (!QDir().mkdir(one) && !QFileInfo(one).isDir()) {
            *error = "cannot create the folder " + one;
            return false;
        }
        _madeFolders << one;
        if (!_syncFolder(QFileInfo(one).path(), error)) {
            return false;
        }
    }
    if (!QFileInfo(folder).isDir()) {
        *error = "cannot create the folder " + folder;
        return false;
    }
    return true;
}

bool RMRecoverOutput::start(const QString& source, const QString& target, qint64 limit,
                            QString* error) {
    _target = target;
    _folder = QFileInfo(target).absolutePath();
    if (QFileInfo::exists(target)) {
        *error = target + " already exists; it was not replaced";
        return false;
    }
    if (!_makeFolder(_folder, error)) {
        return false;
    }
    _in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    if (_in < 0) {
        *error = "cannot be read: " + errorText(errno);
        return false;
    }
    QByteArray temp = QFile::encodeName(_folder + "/." + QFileInfo(target).fileName() + kTempInfix +
                                        QString(kTempRandom, 'X'));
    _out = ::mkostemp(temp.data(), O_CLOEXEC);
    if (_out < 0) {
        *error = "cannot write in " + _folder + ": " + errorText(errno);
        return false;
    }
    _temp = temp;
    // A temporary file is private to its owner; the recording is not.
    ::fchmod(_out, 0644);
    ::posix_fadvise(_in, 0, 0, POSIX_FADV_SEQUENTIAL);
    _limit = limit;
    _method = gKernelCopy && !writeFault() ? COPY_RANGE : BUFFER;
    _copier = std::thread([this] { _copyLoop(); });
    return true;
}

bool RMRecoverOutput::_writeAt(qint64 pos, const char* data, qint64 length, QString* error) {
    const int injected = writeFault() ? writeFault()(pos) : 0;
    while (injected == 0 && length > 0) {
        const ssize_t put = ::pwrite(_out, data, size_t(length), off_t(pos));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            *error = errorText(put < 0 ? errno : ENOSPC);
            return false;
        }
        data += put;
        length -= put;
        pos += put;
    }
    if (injected != 0) {
        *error = errorText(injected);
        return false;
    }
    return true;
}

// [at, at + length) of the source into the output, at the same offset.
bool RMRecoverOutput::_copyChunk(qint64 at, qint64 length, QString* error) {
    switch (_method) {
        case COPY_RANGE:
            return _copyRange(at, length, error);
        case DIRECT:
            return _copyDirect(at, length, error);
        default:
            return _copyByBuffer(at, length, error);
    }
}

// By the kernel, within a file system (or by the file system itself). When
// the first chunk finds that it cannot (between file systems), the copy is
// written past the page cache, or else through it.
bool RMRecoverOutput::_copyRange(qint64 at, qint64 length, QString* error) {
    loff_t from = at;
    loff_t to = at;
    const ssize_t copied = ::copy_file_range(_in, &from, _out, &to, size_t(length), 0);
    if (copied > 0) {
        _startWriteback(at, copied);
        _copied = at + copied;
        return true;
    }
    if (copied < 0 && at == 0) {
        // Not between these file systems.
        _outDirect = ::open(_temp.constData(), O_WRONLY | O_DIRECT | O_CLOEXEC);
        _method = _outDirect >= 0 ? DIRECT : BUFFER;
        struct stat source;
        if (_method == DIRECT && ::fstat(_in, &source) == 0) {
            _sourcePages.attach(_in, source.st_size);
        }
        return true;
    }
    *error = "copying failed: " + (copied < 0 ? errorText(errno) : QString("the file ended"));
    return false;
}

// Written past the page cache, the device taking the bytes straight from
// the source's pages where the system holds them, else from our buffer: the
// bytes are copied at most once, and the output's pages never fill the
// page cache. A length the device cannot take ends through the page cache;
// a device that takes no such writes leaves the copy to the page cache.
bool RMRecoverOutput::_copyDirect(qint64 at, qint64 length, QString* error) {
    const char* buffer =
        _sourcePages.held(at, length) ? _sourcePages.address(at) : _block(at, length, error);
    if (!buffer) {
        return false;
    }
    const qint64 whole = at % kDirectAlign == 0 ? length / kDirectAlign * kDirectAlign : 0;
    for (qint64 put = 0; put < whole;) {
        const ssize_t n = ::pwrite(_outDirect, buffer + put, size_t(whole - put), off_t(at + put));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EINVAL && at == 0 && put == 0) {
            _method = BUFFER;
            return true;
        }
        if (n <= 0) {
            *error = "copying failed: writing: " + errorText(n < 0 ? errno : ENOSPC);
            return false;
        }
        put += n;
    }
    QString why;
    if (whole < length && !_writeAt(at + whole, buffer + whole, length - whole, &why)) {
        *error = "copying failed: writing: " + why;
        return false;
    }
    _copied = at + length;
    return true;
}

bool RMRecoverOutput::_copyByBuffer(qint64 at, qint64 length, QString* error) {
    char* buffer = _block(at, length, error);
    if (!buffer) {
        return false;
    }
    QString why;
    if (!_writeAt(at, buffer, length, &why)) {
        *error = "copying failed: writing: " + why;
        return false;
    }
    _startWriteback(at, length);
    _copied = at + length;
    return true;
}

// [at, at + length) of the source in the copy's buffer, or null. One
// buffer for the whole copy: a fresh one per block would be faulted in
// page by page each time.
char* RMRecoverOutput::_block(qint64 at, qint64 length, QString* error) {
    if (!_buffer) {
        void* memory = nullptr;
        if (::posix_memalign(&memory, size_t(kDirectAlign), size_t(kCopyBlock)) != 0) {
            *error = "copying failed: " + errorText(ENOMEM);
            return nullptr;
        }
        _buffer.reset(static_cast<char*>(memory));
    }
    char* buffer = _buffer.get();
    for (qint64 got = 0; got < length;) {
        const ssize_t n = ::pread(_in, buffer + got, size_t(length - got), off_t(at + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            *error = "copying failed: reading at byte " + QString::number(at + got) + ": " +
                     (n < 0 ? errorText(errno) : QString("the file ended"));
            return nullptr;
        }
        got += n;
    }
    return buffer;
}

// The device starts writing what was copied while the analysis goes on, so
// that the flush at the end waits only for the last bytes. A failure here
// shows in that flush.
void RMRecoverOutput::_startWriteback(qint64 at, qint64 length) {
    ::sync_file_range(_out, off_t(at), off_t(length), SYNC_FILE_RANGE_WRITE);
}

void RMRecoverOutput::_copyLoop() {
    for (;;) {
        qint64 limit = 0;
        {
            std::unique_lock<std::mutex> lock(_lock);
            _wake.wait(lock, [this] { return _stop || _final || _copied < _limit; });
            if (_stop || (_final && _copied >= _limit)) {
                break;
            }
            limit = _limit;
        }
        const qint64 at = _copied;
        QString error;
        if (!_copyChunk(at, qMin(kCopyBlock, limit - at), &error)) {
            std::lock_guard<std::mutex> lock(_lock);
            _copyError = error;
            break;
        }
    }
    _done = true;
    _wake.notify_all();
}

void RMRecoverOutput::_stopCopy() {
    if (!_copier.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(_lock);
        _stop = true;
    }
    _wake.notify_all();
    _copier.join();
}

bool RMRecoverOutput::finish(qint64 end, const std::vector<RMRecoverPatch>& patches,
                             const QByteArray& moov,
                             const std::function<bool(qint64 copied)>& keepGoing, QString* error,
                             bool* cancelled) {
    {
        std::unique_lock<std::mutex> lock(_lock);
        _limit = qMax(_limit, end);
        _final = true;
        _wake.notify_all();
        // The rest of the copy, with a look at the cancel now and then.
        while (!_wake.wait_for(lock, std::chrono::milliseconds(100),
                               [this] { return _done.load(); })) {
            lock.unlock();
            const bool go = !keepGoing || keepGoing(_copied);
            lock.lock();
            if (!go) {
                lock.unlock();
                _stopCopy();
                *cancelled = true;
                *error = "cancelled";
                return false;
            }
        }
        if (!_copyError.isEmpty()) {
            *error = _copyError;
            lock.unlock();
            _stopCopy();
            return false;
        }
    }
    _stopCopy();
    if (_copied < end) {
        *error = "copying failed: the file ended at byte " + QString::number(_copied.load());
        return false;
    }
    // The copy may have run past the data's end.
    if (::ftruncate(_out, off_t(end)) != 0) {
        *error = "writing failed: " + errorText(errno);
        return false;
    }
    QString why;
    for (const RMRecoverPatch& patch : patches) {
        if (!_writeAt(patch.pos, patch.bytes.constData(), patch.bytes.size(), &why)) {
            *error = "writing failed: " + why;
            return false;
        }
    }
    if (!_writeAt(end, moov.constData(), moov.size(), &why)) {
        *error = "writing failed: " + why;
        return false;
    }
    if (::fsync(_out) != 0) {
        *error = "writing failed: " + errorText(errno);
        return false;
    }
    return _place(error);
}

// A hard link puts the file in place only if the name is still free; where
// links are not supported, a rename after a last look. Then the folder is
// flushed: until it is, the new name may not survive a power loss.
bool RMRecoverOutput::_place(QString* error) {
    const QByteArray to = QFile::encodeName(_target);
    const int fault = gLinkFault;
    const int linked = fault ? (errno = fault, -1) : ::link(_temp.constData(), to.constData());
    if (linked == 0) {
        ::unlink(_temp.constData());
    } else {
        const bool taken = errno == EEXIST;
        if (taken || QFileInfo::exists(_target) ||
            ::rename(_temp.constData(), to.constData()) != 0) {
            *error = _target + (taken || QFileInfo::exists(_target)
                                    ? " already exists; it was not replaced"
                                    : " cannot be written: " + errorText(errno));
            return false;
        }
    }
    _temp.clear();
    _placed = true;
    QString why;
    if (!_syncFolder(_folder, &why)) {
        *error = "written to " + _target + ", but " + why +
                 "; it may not survive a pulled card or a power loss";
        return false;
    }
    return true;
}

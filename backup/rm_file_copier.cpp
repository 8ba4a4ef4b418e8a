#include "backup/rm_file_copier.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>
#include <cstring>
#include <memory>

namespace {
// Writeback is started every so often so the final flush does not wait for
// the whole file.
constexpr qint64 kWritebackStep = 32 * 1024 * 1024;

std::function<int(qint64, qint64)>& writeFault() {
    static std::function<int(qint64, qint64)> fault;
    return fault;
}

std::function<bool(qint64)>& corruptFault() {
    static std::function<bool(qint64)> fault;
    return fault;
}

int gFolderSyncFault = 0;

// The temporary name of a copy: "." + target name + ".part-" + six characters
// that mkostemp fills in.
const char kTempInfix[] = ".part-";
const int kTempRandom = 6;

QString describe(const char* what, int error) {
    return QString("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(error)));
}

QByteArray nativePath(const QString& path) {
    return QFile::encodeName(path);
}

// Closes a descriptor when the copy leaves, whatever way.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

qint64 readSome(int fd, char* buffer, qint64 size) {
    qint64 got;
    do {
        got = ::read(fd, buffer, size_t(size));
    } while (got < 0 && errno == EINTR);
    return got;
}
}  // namespace

void RMFileCopier::setWriteFault(std::function<int(qint64, qint64)> fault) {
    writeFault() = std::move(fault);
}

void RMFileCopier::setCorruptFault(std::function<bool(qint64)> fault) {
    corruptFault() = std::move(fault);
}

void RMFileCopier::setFolderSyncFault(int error) {
    gFolderSyncFault = error;
}

bool RMFileCopier::isTemporaryName(const QString& fileName) {
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

int RMFileCopier::removeLeftovers(const QString& folder) {
    int removed = 0;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (isTemporaryName(name) && QFile::remove(dir.filePath(name))) {
            qInfo() << Q_FUNC_INFO << __LINE__ << "removed leftover" << dir.filePath(name);
            ++removed;
        }
    }
    return removed;
}

bool RMFileCopier::_syncFolder(const QString& folder, QString* error) {
    Descriptor dir;
    dir.fd = ::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir.fd < 0) {
        *error = describe("opening the folder to flush it", errno);
        return false;
    }
    const int failure = gFolderSyncFault ? gFolderSyncFault : (::fsync(dir.fd) == 0 ? 0 : errno);
    // File systems that cannot sync a folder say EINVAL; the rename then
    // stands as the system wrote it.
    if (failure != 0 && failure != EINVAL) {
        *error = describe("flushing the folder", failure);
        return false;
    }
    return true;
}

bool RMFileCopier::_stopped(Pending* pending, QString* error) {
    if (!pending->stop || !pending->stop()) {
        return false;
    }
    pending->cancelled = true;
    *error = "cancelled";
    return true;
}

bool RMFileCopier::_writeAll(int fd, const char* data, qint64 length, qint64 written,
                             int* failure) {
    while (length > 0) {
        if (writeFault()) {
            if (const int injected = writeFault()(written, length)) {
                *failure = injected;
                return false;
            }
        }
        ssize_t put;
        if (corruptFault() && corruptFault()(written)) {
            char first = char(data[0] ^ 0x5A);
            put = ::write(fd, &first, 1);
        } else {
            put = ::write(fd, data, size_t(length));
        }
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            *failure = errno;
            return false;
        }
        data += put;
        length -= put;
        written += put;
    }
    return true;
}

bool RMFileCopier::_readAll(int fd, const char* what, QString* error,
                            const std::function<bool(const char*, qint64)>& use) {
    std::unique_ptr<char[]> buffer(new char[kBufferSize]);
    for (;;) {
        const qint64 got = readSome(fd, buffer.get(), kBufferSize);
        if (got < 0) {
            *error = describe(what, errno);
            return false;
        }
        if (got == 0) {
            return true;
        }
        if (!use(buffer.get(), got)) {
            return false;
        }
    }
}

bool RMFileCopier::_copyData(int in, Pending* pending, QString* error) {
    const int out = pending->fd;
    quint32* crc = &pending->crc;
    qint64 total = 0;
    qint64 flushedTo = 0;
    *crc = quint32(crc32(0L, Z_NULL, 0));
    const bool copied =
        _readAll(in, "reading the source", error, [&](const char* data, qint64 got) {
            if (_stopped(pending, error)) {
                return false;
            }
            *crc = quint32(crc32(*crc, reinterpret_cast<const Bytef*>(data), uInt(got)));
            if (pending->observe) {
                pending->observe(data, got);
            }
            int failure = 0;
            if (!_writeAll(out, data, got, total, &failure)) {
                *error = describe("writing the copy", failure);
                return false;
            }
            total += got;
            if (total - flushedTo >= kWritebackStep) {
                ::sync_file_range(out, flushedTo, total - flushedTo, SYNC_FILE_RANGE_WRITE);
                flushedTo = total;
            }
            return true;
        });
    pending->length = total;
    return copied;
}

bool RMFileCopier::_verify(Pending* pending, QString* error) {
    const int fd = pending->fd;
    const qint64 length = pending->length;
    const quint32 crc = pending->crc;
    struct stat info;
    if (::fstat(fd, &info) != 0 || info.st_size != length) {
        *error = "the copy has the wrong size";
        return false;
    }
    // Drop the cached pages so the check reads what the device holds.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        *error = describe("reading the copy back", errno);
        return false;
    }
    quint32 check = quint32(crc32(0L, Z_NULL, 0));
    qint64 total = 0;
    const bool read =
        _readAll(fd, "reading the copy back", error, [&](const char* data, qint64 got) {
            if (_stopped(pending, error)) {
                return false;
            }
            check = quint32(crc32(check, reinterpret_cast<const Bytef*>(data), uInt(got)));
            total += got;
            return true;
        });
    if (!read) {
        return false;
    }
    if (total != length || check != crc) {
        *error = "the copy differs from the source";
        return false;
    }
    return true;
}

RMFileCopier::Pending::~Pending() {
    discard();
}

void RMFileCopier::Pending::discard() {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    if (!temp.isEmpty()) {
        ::unlink(temp.constData());
        temp.clear();
    }
}

bool RMFileCopier::_fail(const QString& source, const QString& target, const QString& reason,
                         QString* error) {
    qInfo() << Q_FUNC_INFO << __LINE__ << source << target << reason;
    if (error) {
        *error = reason;
    }
    return false;
}

bool RMFileCopier::write(const QString& source, const QString& target, Pending* pending,
                         QString* error) {
    pending->discard();
    pending->source = source;
    pending->target = target;
    pending->cancelled = false;
    Descriptor in;
    in.fd = ::open(nativePath(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in.fd < 0) {
        return _fail(source, target, describe("opening the source", errno), error);
    }
    ::posix_fadvise(in.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    struct stat sourceInfo;
    if (::fstat(in.fd, &sourceInfo) != 0) {
        return _fail(source, target, describe("reading the source", errno), error);
    }
    const QString folder = QFileInfo(target).absolutePath();
    QByteArray temp = nativePath(folder + "/." + QFileInfo(target).fileName() + kTempInfix +
                                 QString(kTempRandom, 'X'));
    pending->fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (pending->fd < 0) {
        return _fail(source, target, describe("creating the copy", errno), error);
    }
    pending->temp = temp;
    ::fchmod(pending->fd, 0644);
    QString reason;
    if (!_copyData(in.fd, pending, &reason)) {
        pending->discard();
        return _fail(source, target, reason, error);
    }
    // A source that shrank or grew meanwhile (a card pulled, a file still
    // being written) gave a copy of something else.
    if (pending->length != qint64(sourceInfo.st_size)) {
        reason = QString("the source changed size while it was copied (%1 bytes copied of %2)")
                     .arg(pending->length)
                     .arg(qint64(sourceInfo.st_size));
        pending->discard();
        return _fail(source, target, reason, error);
    }
    if (::fsync(pending->fd) != 0) {
        reason = describe("flushing the copy", errno);
        pending->discard();
        return _fail(source, target, reason, error);
    }
    return true;
}

bool RMFileCopier::finish(Pending* pending, QString* error) {
    if (pending->fd < 0) {
        return _fail(pending->source, pending->target, "nothing was written", error);
    }
    QString reason;
    if (!_verify(pending, &reason)) {
        pending->discard();
        return _fail(pending->source, pending->target, reason, error);
    }
    // The folder is flushed before the rename, so a folder that cannot be
    // flushed fails the copy while the target is still as it was...
    const QString folder = QFileInfo(pending->target).absolutePath();
    if (!_syncFolder(folder, &reason)) {
        pending->discard();
        return _fail(pending->source, pending->target, reason, error);
    }
    if (::rename(pending->temp.constData(), nativePath(pending->target).constData()) != 0) {
        reason = describe("renaming the copy", errno);
        pending->discard();
        return _fail(pending->source, pending->target, reason, error);
    }
    pending->temp.clear();  // it is the target now
    pending->discard();
    // ...and after it, so the new name survives a pulled card. Should that
    // fail now, the target is already the copy, and the result says so.
    if (!_syncFolder(folder, &reason)) {
        return _fail(pending->source, pending->target,
                     "the copy is in place, but " + reason +
                         " failed afterwards; it may not survive a pulled card",
                     error);
    }
    return true;
}

bool RMFileCopier::copy(const QString& source, const QString& target, QString* error) {
    Pending pending;
    return write(source, target, &pending, error) && finish(&pending, error);
}

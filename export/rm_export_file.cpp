#include "export/rm_export_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>
#include <cstring>

namespace {
// Writeback is started every so often so the final flush does not wait for
// the whole file.
constexpr qint64 kWritebackStep = 32 * 1024 * 1024;

std::function<int(qint64, qint64)>& writeFault() {
    static std::function<int(qint64, qint64)> fault;
    return fault;
}

bool syncFolder(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}
}  // namespace

void RMExportFile::setWriteFault(std::function<int(qint64, qint64)> fault) {
    writeFault() = std::move(fault);
}

RMExportFile::~RMExportFile() {
    discard();
}

bool RMExportFile::_fail(const char* what, int error) {
    _error = QString("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(error)));
    qInfo() << Q_FUNC_INFO << __LINE__ << _target << _error;
    return false;
}

bool RMExportFile::open(const QString& target) {
    discard();
    _target = QDir::cleanPath(target);
    const QFileInfo info(_target);
    // "." + name + ".part-" + six characters: the backup's temporary-name rule.
    QByteArray pattern =
        QFile::encodeName(info.absolutePath() + "/." + info.fileName() + ".part-XXXXXX");
    _fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (_fd < 0) {
        return _fail("creating the file", errno);
    }
    // mkostemp makes the file private; a clip is an ordinary document.
    ::fchmod(_fd, 0644);
    _temp = QFile::decodeName(pattern);
    _position = _size = _flushedUpTo = 0;
    return true;
}

bool RMExportFile::write(const char* data, qint64 length) {
    if (_fd < 0) {
        _error = "the file is not open";
        return false;
    }
    if (writeFault()) {
        if (const int error = writeFault()(_position, length)) {
            return _fail("writing", error);
        }
    }
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::pwrite(_fd, data + done, size_t(length - done), _position + done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return _fail("writing", n < 0 ? errno : ENOSPC);
        }
        done += n;
    }
    _position += length;
    _size = qMax(_size, _position);
    if (_size - _flushedUpTo >= kWritebackStep) {
        ::sync_file_range(_fd, _flushedUpTo, _size - _flushedUpTo, SYNC_FILE_RANGE_WRITE);
        _flushedUpTo = _size;
    }
    return true;
}

bool RMExportFile::seek(qint64 position) {
    if (_fd < 0 || position < 0) {
        return false;
    }
    _position = position;
    return true;
}

bool RMExportFile::commit(bool replace) {
    if (_fd < 0) {
        _error = "the file is not open";
        return false;
    }
    if (::fsync(_fd) != 0) {
        return _fail("flushing", errno);
    }
    ::close(_fd);
    _fd = -1;
    const QByteArray from = QFile::encodeName(_temp);
    const QByteArray to = QFile::encodeName(_target);
    if (replace) {
        if (::rename(from.constData(), to.constData()) != 0) {
            return _fail("naming the file", errno);
        }
    } else {
        // link() refuses an existing name, so a file that appeared meanwhile is kept.
        if (::link(from.constData(), to.constData()) != 0) {
            return _fail("naming the file", errno);
        }
        ::unlink(from.constData());
    }
    _temp.clear();
    syncFolder(QFileInfo(_target).absolutePath());
    return true;
}

void RMExportFile::discard() {
    if (_fd >= 0) {
        ::close(_fd);
        _fd = -1;
    }
    if (!_temp.isEmpty()) {
        ::unlink(QFile::encodeName(_temp).constData());
        _temp.clear();
    }
}

#include "settings/cfg.h"

#include <fcntl.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

unsigned char CFG::data[CFG::SIZE] = {};
unsigned char CFG::stored[CFG::SIZE] = {};

// clang-format off
const unsigned char CFG::defaults[CFG::SIZE] = {
    'V', 'K', '7', '3', '0', '0', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0: model name
    0, 3, 2, 1, 1, 3,                                            // 16
    3,                                                           // 22: volume
    0,                                                           // 23: mic
    4,                                                           // 24: G sensor
    10, 10, 10, 0,                                               // 25
    0,                                                           // 29: time stamp
    1,                                                           // 30: recording mode
    2, 4, 0, 1, 7, 7, 0,                                         // 31
    2,                                                           // 38: in screen view
    2,                                                           // 39: LCD brightness
    0,                                                           // 40: auto brightness
    0,                                                           // 41: display mode
    0, 0, 1, 0, 0, 0, 0, 0, 1, 1, 0, 3, 0, 1, 1, 1, 0, 7, 1, 0, 0,  // 42
    2,                                                           // 63: LCD auto off
    0,                                                           // 64: LED
    0,                                                           // 65: speed unit
    0, 0, 0, 0, 0,                                               // 66: smart mute .. speed limit
    5,                                                           // 71: user speed warning
    0,                                                           // 72: vehicle type
    0, 75,                                                       // 73: weight 7.5 t
    0, 50,                                                       // 75: length 5.0 m
    0,                                                           // 77: trailer
    0,                                                           // 78: language
    25,                                                          // 79: time zone (automatic)
    0,                                                           // 80: daylight saving
    0,                                                           // 81: voice
    0,                                                           // 82: beep
    1,                                                           // 83: direction
    0,                                                           // 84: GPS speed
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                             // 85
};
// clang-format on

namespace {
const char kModelName[] = "VK7300";
const int kModelNameLength = 6;

CFG::SaveError gLastError;
CFG::SaveError gFault;
CFG::CARD_STATE gCardState = CFG::CARD_UNCHANGED;

QByteArray local(const QString& path) {
    return QFile::encodeName(path);
}

// The errno an injected fault gives this step, 0 when none is injected.
int injected(CFG::SAVE_STEP step) {
    return gFault.step == step ? gFault.error : 0;
}

bool fail(CFG::SAVE_STEP step, int error, const QString& path) {
    gLastError.step = step;
    gLastError.error = error;
    qInfo() << Q_FUNC_INFO << __LINE__ << "step" << step << "errno" << error << std::strerror(error)
            << path;
    return false;
}

// Writes the record, flushes it and syncs it to the medium. A full card
// takes part of the record and then refuses the rest.
bool writeAndSync(FILE* file, const QByteArray& bytes, CFG::SAVE_STEP* failedStep) {
    const int full = injected(CFG::SAVE_WRITE);
    const size_t want = full ? bytes.size() / 2 : bytes.size();
    const size_t wrote = std::fwrite(bytes.constData(), 1, want, file);
    const bool flushed = std::fflush(file) == 0;
    *failedStep = CFG::SAVE_WRITE;
    if (full) {
        errno = full;
        return false;
    }
    if (wrote != want || !flushed) {
        return false;
    }
    *failedStep = CFG::SAVE_SYNC;
    if (const int error = injected(CFG::SAVE_SYNC)) {
        errno = error;
        return false;
    }
    return ::fsync(fileno(file)) == 0;
}

// Creates or truncates the temporary file and fills it; on failure the
// temporary file is removed again.
bool writeTemporary(const QString& temp, const QByteArray& bytes) {
    if (const int error = injected(CFG::SAVE_OPEN)) {
        return fail(CFG::SAVE_OPEN, error, temp);
    }
    FILE* file = std::fopen(local(temp).constData(), "wb");
    if (!file) {
        return fail(CFG::SAVE_OPEN, errno, temp);
    }
    CFG::SAVE_STEP step = CFG::SAVE_WRITE;
    bool ok = writeAndSync(file, bytes, &step);
    int error = errno;
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        error = errno;
        step = CFG::SAVE_WRITE;
    }
    if (!ok) {
        std::remove(local(temp).constData());
        return fail(step, error, temp);
    }
    return true;
}

// Reads a file back whole (one byte more than expected, to see a longer one)
// from the device, not from the cache: its cached pages are dropped first.
QByteArray readBack(const QString& path, CFG::SAVE_STEP step, bool* readable = nullptr) {
    if (readable) {
        *readable = false;
    }
    const int fd = ::open(local(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return QByteArray();
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    QByteArray bytes(CFG::SIZE + 1, '\0');
    qint64 got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ::close(fd);
            return QByteArray();
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    ::close(fd);
    if (readable) {
        *readable = true;
    }
    bytes.resize(static_cast<int>(got));
    // A card that hands back other data than it was given.
    if (injected(step) && !bytes.isEmpty()) {
        bytes[0] = static_cast<char>(bytes[0] ^ 0x55);
    }
    return bytes;
}

bool sameOnCard(const QString& path, const QByteArray& bytes, CFG::SAVE_STEP step) {
    if (readBack(path, step) == bytes) {
        return true;
    }
    const int error = injected(step);
    return fail(step, error ? error : EIO, path);
}

// Makes the rename itself durable. File systems that cannot sync a folder
// say EINVAL; the rename then stands as the system wrote it.
bool syncFolder(const QString& path) {
    if (const int error = injected(CFG::SAVE_FOLDER_SYNC)) {
        return fail(CFG::SAVE_FOLDER_SYNC, error, path);
    }
    const QString folder = QFileInfo(path).absolutePath();
    const int fd = ::open(local(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        return fail(CFG::SAVE_FOLDER_SYNC, errno, folder);
    }
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL;
    const int error = errno;
    ::close(fd);
    return ok || fail(CFG::SAVE_FOLDER_SYNC, error, folder);
}

bool renameOver(const QString& temp, const QString& path) {
    int error = injected(CFG::SAVE_RENAME);
    if (!error && std::rename(local(temp).constData(), local(path).constData()) == 0) {
        return true;
    }
    if (!error) {
        error = errno;
    }
    std::remove(local(temp).constData());
    return fail(CFG::SAVE_RENAME, error, path);
}
}  // namespace

void CFG::setDefault() {
    std::memcpy(data, defaults, SIZE);
}

void CFG::backup() {
    std::memcpy(stored, data, SIZE);
}

void CFG::restore() {
    std::memcpy(data, stored, SIZE);
}

bool CFG::load(QString path) {
    bool ok = false;
    if (!QFileInfo::exists(path)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "missing" << path;
    } else if (FILE* file = std::fopen(local(path).constData(), "rb")) {
        // Read-only on purpose: a write-protected card still shows its
        // settings; saving then reports why it cannot write.
        unsigned char buffer[SIZE] = {};
        const size_t got = std::fread(buffer, 1, SIZE, file);
        std::fclose(file);
        ok = got > 0 && std::memcmp(buffer, kModelName, kModelNameLength) == 0;
        if (ok) {
            std::memcpy(data, buffer, SIZE);
        } else {
            setDefault();
        }
        qInfo() << Q_FUNC_INFO << __LINE__ << path << "bytes" << got << "accepted" << ok;
    } else {
        qInfo() << Q_FUNC_INFO << __LINE__ << "cannot open" << path << std::strerror(errno);
    }
    backup();
    return ok;
}

QString CFG::modelName(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QString();
    }
    const QByteArray head = file.read(16);
    if (!head.startsWith(QByteArray(kModelName, kModelNameLength))) {
        return QString();
    }
    return QString::fromLatin1(head.constData(),
                               int(qstrnlen(head.constData(), uint(head.size()))));
}

QString CFG::temporaryPath(const QString& path) {
    return path + ".tmp";
}

bool CFG::save(QString path) {
    gLastError = SaveError();
    if (path.isEmpty()) {
        return fail(SAVE_OPEN, ENOENT, path);
    }
    gCardState = CARD_UNCHANGED;
    const QByteArray bytes(reinterpret_cast<const char*>(data), SIZE);
    const QString temp = temporaryPath(path);
    // The card keeps its old file until a checked complete copy replaces it.
    if (!(writeTemporary(temp, bytes) && sameOnCard(temp, bytes, SAVE_CHECK) &&
          renameOver(temp, path))) {
        std::remove(local(temp).constData());
        return false;
    }
    // The new file is in place; from here on the card holds something
    // else than before, and stored must follow it even when a step fails.
    const bool synced = syncFolder(path);
    bool readable = false;
    const QByteArray onCard = readBack(path, SAVE_READ_BACK, &readable);
    if (synced && onCard == bytes) {
        gCardState = CARD_NEW;
        backup();
        qInfo() << Q_FUNC_INFO << __LINE__ << "saved" << path;
        return true;
    }
    if (synced) {
        const int error = injected(SAVE_READ_BACK);
        fail(SAVE_READ_BACK, error ? error : EIO, path);
    }
    _followCard(readable, onCard, bytes);
    return false;
}

void CFG::_followCard(bool readable, const QByteArray& onCard, const QByteArray& written) {
    if (!readable) {
        // Most likely the new record, but nothing proves it: stored stays.
        gCardState = CARD_UNKNOWN;
    } else if (onCard == written) {
        gCardState = CARD_NEW;
        backup();
    } else {
        gCardState = CARD_OTHER;
        std::memset(stored, 0, SIZE);
        std::memcpy(stored, onCard.constData(), size_t(std::min<int>(onCard.size(), SIZE)));
    }
    qInfo() << Q_FUNC_INFO << __LINE__ << "card state" << gCardState;
}

CFG::CARD_STATE CFG::lastSaveCardState() {
    return gCardState;
}

CFG::SaveError CFG::lastSaveError() {
    return gLastError;
}

bool CFG::lastSaveLeftFileUnchanged() {
    // A refused rename replaces nothing.
    return gLastError.step <= SAVE_RENAME;
}

void CFG::injectFault(SAVE_STEP step, int error) {
    gFault.step = step;
    gFault.error = step == SAVE_NONE ? 0 : error;
}

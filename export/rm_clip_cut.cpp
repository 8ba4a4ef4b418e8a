#include "export/rm_clip_cut.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QtDebug>
#include <QtEndian>
#include <cstring>
#include <memory>
#include <vector>

#include "export/rm_clip_moov.h"
#include "export/rm_clip_plan.h"
#include "export/rm_export_file.h"
#include "mp4/rm_mp4_index.h"

namespace {
constexpr qint64 kBuffer = 4 * 1024 * 1024;

struct Descriptors {
    std::vector<int> fds;
    ~Descriptors() {
        for (int fd : fds) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
};

bool readAt(int fd, char* buffer, qint64 length, qint64 offset) {
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, buffer + done, size_t(length - done), offset + done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += n;
    }
    return true;
}

QString vanished(const QString& path) {
    return QFileInfo(path).fileName() + ": the recording can no longer be read";
}

QByteArray boxHeader(quint64 size, const char* type, bool wide) {
    QByteArray b(wide ? 16 : 8, '\0');
    qToBigEndian(wide ? 1u : quint32(size), b.data());
    std::memcpy(b.data() + 4, type, 4);
    if (wide) {
        qToBigEndian(size, b.data() + 8);
    }
    return b;
}
}  // namespace

bool RMClipCut::_header(const RMClipPlan& plan, QByteArray* out, QString* error) {
    const QString path = plan.spans().front().path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = vanished(path);
        return false;
    }
    for (const RMMp4Index::Box& box : plan.indexes().front().topLevel()) {
        const bool keep =
            box.type == RMMp4Index::fourcc("ftyp") || box.type == RMMp4Index::fourcc("usea");
        if (!keep || box.size <= 0 || box.size > (1 << 20)) {
            continue;
        }
        if (!file.seek(box.pos)) {
            *error = vanished(path);
            return false;
        }
        const QByteArray bytes = file.read(box.size);
        if (bytes.size() != box.size) {
            *error = vanished(path);
            return false;
        }
        out->append(bytes);
    }
    return true;
}

bool RMClipCut::_copySamples(const RMClipPlan& plan, RMExportFile* file, const Progress& progress,
                             QString* error) {
    Descriptors in;
    for (const RMClipPlan::Span& span : plan.spans()) {
        in.fds.push_back(::open(QFile::encodeName(span.path).constData(), O_RDONLY | O_CLOEXEC));
        if (in.fds.back() < 0) {
            *error = vanished(span.path);
            return false;
        }
        ::posix_fadvise(in.fds.back(), 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    std::unique_ptr<char[]> buffer(new char[kBuffer]);
    const std::vector<RMClipPlan::Sample>& samples = plan.samples();
    const qint64 total = qint64(plan.dataSize());
    qint64 done = 0;
    size_t i = 0;
    while (i < samples.size()) {
        // A run of samples that lie one after the other in the same recording.
        const RMClipPlan::Sample& first = samples[i];
        qint64 length = first.size;
        size_t j = i + 1;
        while (j < samples.size() && samples[j].part == first.part &&
               samples[j].source == first.source + quint64(length) && length < kBuffer) {
            length += samples[j].size;
            ++j;
        }
        for (qint64 at = 0; at < length; at += kBuffer) {
            const qint64 n = qMin(kBuffer, length - at);
            if (!readAt(in.fds[size_t(first.part)], buffer.get(), n, qint64(first.source) + at)) {
                *error = vanished(plan.spans()[first.part].path);
                return false;
            }
            if (!file->write(buffer.get(), n)) {
                *error = file->errorString();
                return false;
            }
            done += n;
        }
        if (progress && !progress(done, total)) {
            *error = QString();
            return false;
        }
        i = j;
    }
    return true;
}

bool RMClipCut::write(const RMClipPlan& plan, RMExportFile* file, const Progress& progress,
                      QString* error) {
    QByteArray head;
    if (!_header(plan, &head, error)) {
        return false;
    }
    const bool wide = plan.dataSize() + 16 > 0xffffffffull;
    const QByteArray mdat = boxHeader(plan.dataSize() + (wide ? 16 : 8), "mdat", wide);
    const quint64 dataStart = quint64(head.size() + mdat.size());
    head.append(mdat);
    if (!file->write(head.constData(), head.size())) {
        *error = file->errorString();
        return false;
    }
    if (!_copySamples(plan, file, progress, error)) {
        return false;
    }
    const QByteArray moov = RMClipMoov(plan, dataStart).build();
    if (!file->write(moov.constData(), moov.size())) {
        *error = file->errorString();
        return false;
    }
    return true;
}

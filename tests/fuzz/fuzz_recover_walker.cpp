// Feeds arbitrary bytes to the recovery of cut-off recordings: the input is
// a reference recording and a cut-off one (the first four bytes give the
// reference's length, big-endian). The reference is read as the recovery
// reads it; when it can serve, the cut-off file's media data is walked and
// a new movie box built, which must read back; the last key picture is
// looked for back from the end and walked from, as the recovery's guess at
// the last group does. Run with -malloc_limit_mb=64 to catch allocations
// that follow an unchecked count.
#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>
#include <cstdint>

#include "mp4/rm_file_window.h"
#include "mp4/rm_mp4_index.h"
#include "mp4/rm_nal_scanner.h"
#include "recovery/rm_recover_moov.h"
#include "recovery/rm_recover_walker.h"

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

QTemporaryDir* folder() {
    static QTemporaryDir dir;
    return &dir;
}

bool write(const QString& path, const char* data, qint64 size) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data, size) == size;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qInstallMessageHandler(quiet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || !folder()->isValid()) {
        return 0;
    }
    const size_t referenceSize =
        qMin(size - 4, size_t((quint32(data[0]) << 24) | (quint32(data[1]) << 16) |
                              (quint32(data[2]) << 8) | quint32(data[3])));
    const char* bytes = reinterpret_cast<const char*>(data) + 4;
    const QString referencePath = folder()->filePath("reference.mp4");
    const QString cutPath = folder()->filePath("cut.mp4");
    if (!write(referencePath, bytes, qint64(referenceSize)) ||
        !write(cutPath, bytes + referenceSize, qint64(size - 4 - referenceSize))) {
        return 0;
    }
    RMMp4Index reference;
    RMMp4Index cut;
    if (!reference.open(referencePath) || !reference.isComplete() || !cut.open(cutPath) ||
        !cut.mdat()) {
        return 0;
    }
    RMRecoverWalker walker;
    QString error;
    if (!walker.setReference(reference, &error)) {
        return 0;
    }
    RMFileWindow file;
    if (!file.open(cutPath)) {
        return 0;
    }
    const qint64 start = cut.mdat()->pos + cut.mdat()->header;
    walker.walk(file, start);
    // The guess at the last group: a key picture looked for back from the
    // end, and a walk from there.
    RMNalScanner scanner;
    if (scanner.configure(reference.tracks()[size_t(walker.videoTrack())].sampleEntry)) {
        const qint64 key = scanner.keyPictureBefore(file, file.size(), start);
        RMRecoverWalker fromKey;
        if (key >= 0 && fromKey.setReference(reference, &error)) {
            fromKey.walkFromKeyPicture(file, key, -1);
        }
    }
    RMRecoverMoov moov(reference, walker);
    const QByteArray box = moov.build();
    // The new movie box must read back as a complete index.
    QByteArray rebuilt = file.read(0, walker.dataEnd());
    rebuilt += box;
    if (write(cutPath, rebuilt.constData(), rebuilt.size())) {
        RMMp4Index again;
        again.open(cutPath);
    }
    return 0;
}

#include "card_writer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSaveFile>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

#include "card_plan.h"
#include "drive_model.h"
#include "ground_truth.h"
#include "recording_writer.h"
#include "seeded_random.h"
#include "system_config.h"
#include "test_picture.h"

namespace {

// Where the drive starts: central Tokyo, moved a little by the seed.
constexpr double kStartLatitude = 35.68;
constexpr double kStartLongitude = 139.76;
// Mixed into the seed so the start point and the drive draw different numbers.
constexpr quint64 kPlaceSalt = 0x5DEECE66DULL;
// Tiny cards report progress every this many recordings.
constexpr int kTinyProgressEvery = 250;

QString megabytes(qint64 bytes) {
    return QString::number(double(bytes) / 1e6, 'f', 1) + " MB";
}

}  // namespace

CardWriter::CardWriter(const CardOptions& options) : m_options(options) {}

bool CardWriter::fail(const QString& message) {
    if (m_error.isEmpty()) {
        m_error = message;
    }
    return false;
}

QString CardWriter::frontFolder() const {
    const QString dcim = QDir(m_options.outDir).filePath(QStringLiteral("DCIM"));
    return m_options.layout == CardOptions::Layout::Side ? dcim : dcim + QStringLiteral("/1");
}

QString CardWriter::rearFolder() const {
    const QString dcim = QDir(m_options.outDir).filePath(QStringLiteral("DCIM"));
    return m_options.layout == CardOptions::Layout::Side ? dcim : dcim + QStringLiteral("/2");
}

void CardWriter::progress(const QString& line) const {
    if (!m_options.quiet) {
        std::fprintf(stderr, "%s\n", qPrintable(line));
        std::fflush(stderr);
    }
}

bool CardWriter::prepareFolders() {
    QDir root(m_options.outDir);
    if (root.exists() && !m_options.force &&
        !root.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)
             .isEmpty()) {
        return fail(
            QStringLiteral("%1 is not empty (use --force to write into it)").arg(m_options.outDir));
    }
    for (const QString& folder : {frontFolder(), rearFolder()}) {
        if (!QDir().mkpath(folder)) {
            return fail(QStringLiteral("cannot create the folder %1").arg(folder));
        }
    }
    return true;
}

bool CardWriter::writeFile(const QString& path, const QByteArray& data, bool onCard) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        return fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    }
    if (onCard) {
        ++m_files;
        m_bytes += data.size();
    }
    return true;
}

void CardWriter::addTruth(const PlannedRecording& recording,
                          const std::vector<DriveSample>& ticks) {
    if (!m_options.truthFile.isEmpty()) {
        m_truth += GroundTruth::rows(recording.baseName(), ticks);
    }
}

RecordingJob CardWriter::job(const PlannedRecording& recording, bool rear,
                             const std::vector<DriveSample>& ticks) const {
    RecordingJob j;
    j.path = QDir(rear ? rearFolder() : frontFolder()).filePath(recording.fileName(rear));
    j.title = recording.baseName();
    j.rear = rear;
    j.localStart = recording.start;
    j.ticks = &ticks;
    return j;
}

bool CardWriter::run() {
    QElapsedTimer timer;
    timer.start();
    if (!prepareFolders()) {
        return false;
    }
    const QDir root(m_options.outDir);
    if (!writeFile(root.filePath(QString::fromLatin1(SystemConfig::kFileName)),
                   SystemConfig::defaultRecord()) ||
        !writeFile(root.filePath(QStringLiteral("VERSION.TXT")), SystemConfig::versionLine())) {
        return false;
    }

    SeededRandom place(m_options.seed ^ kPlaceSalt);
    const double latitude = kStartLatitude + place.range(-0.01, 0.01);
    const double longitude = kStartLongitude + place.range(-0.01, 0.01);
    // The receiver needs a few seconds for its first fix.
    const int noFix = std::min(place.between(5, 12), std::max(1, m_options.seconds / 2));
    const qint64 startUtcMs = m_options.start.toMSecsSinceEpoch() -
                              qint64(m_options.utcOffsetMinutes) * 60000 -
                              qint64(m_options.clockSkewSeconds) * 1000;
    DriveModel drive(m_options.seed, startUtcMs, latitude, longitude, noFix);
    drive.setFixGap(m_options.fixGapStart, m_options.fixGapSeconds);

    const std::vector<PlannedRecording> plan = CardPlan::make(m_options);
    if (!m_options.truthFile.isEmpty()) {
        m_truth = GroundTruth::header();
    }
    for (const PlannedRecording& r : plan) {
        ++m_prefixes[r.prefix.left(3)];
    }
    if (!(m_options.tiny ? writeTiny(plan, drive) : writeFull(plan, drive))) {
        return false;
    }
    if (!m_options.truthFile.isEmpty() && !writeFile(m_options.truthFile, m_truth, false)) {
        return false;
    }
    m_elapsed = double(timer.elapsed()) / 1000.0;
    return true;
}

// Tiny files take milliseconds each: one after the other, with the drive
// generated as it goes so long cards need little memory.
bool CardWriter::writeTiny(const std::vector<PlannedRecording>& plan, DriveModel& drive) {
    RecordingWriter writer(m_options);
    const int count = int(plan.size());
    for (int i = 0; i < count; ++i) {
        const PlannedRecording& r = plan[size_t(i)];
        const std::vector<DriveSample> ticks = drive.next(r.segment);
        addTruth(r, ticks);
        for (bool rear : {false, true}) {
            if (rear && !m_options.rear) {
                continue;
            }
            if (!writer.write(job(r, rear, ticks))) {
                return fail(writer.errorString());
            }
            ++m_files;
            m_bytes += writer.fileSize();
        }
        if ((i + 1) % kTinyProgressEvery == 0 || i + 1 == count) {
            progress(QStringLiteral("[%1/%2] %3").arg(i + 1).arg(count).arg(r.baseName()));
        }
    }
    return true;
}

// Encoded files take seconds each: a worker per core takes the next file
// from the list. Every file depends only on its own job, so the bytes do not
// depend on the order in which the workers finish.
bool CardWriter::writeFull(const std::vector<PlannedRecording>& plan, DriveModel& drive) {
    std::vector<std::vector<DriveSample>> ticks;
    ticks.reserve(plan.size());
    for (const PlannedRecording& r : plan) {
        ticks.push_back(drive.next(r.segment));
        addTruth(r, ticks.back());
    }
    std::vector<RecordingJob> jobs;
    for (size_t i = 0; i < plan.size(); ++i) {
        jobs.push_back(job(plan[i], false, ticks[i]));
        if (m_options.rear) {
            jobs.push_back(job(plan[i], true, ticks[i]));
        }
    }

    std::atomic<size_t> next{0};
    std::mutex lock;  // guards done, m_files, m_bytes, m_error and the progress lines
    size_t done = 0;
    auto work = [&] {
        RecordingWriter writer(m_options);
        for (size_t i = next++; i < jobs.size(); i = next++) {
            QElapsedTimer fileTimer;
            fileTimer.start();
            const bool ok = writer.write(jobs[i]);
            std::lock_guard<std::mutex> guard(lock);
            if (!ok) {
                fail(writer.errorString());
                next = jobs.size();
                return;
            }
            ++m_files;
            m_bytes += writer.fileSize();
            progress(QStringLiteral("[%1/%2] %3  %4  %5 s")
                         .arg(++done)
                         .arg(jobs.size())
                         .arg(QFileInfo(jobs[i].path).fileName(), megabytes(writer.fileSize()))
                         .arg(double(fileTimer.elapsed()) / 1000.0, 0, 'f', 1));
        }
    };
    const int workers = std::max(1, std::min(m_options.jobs, int(jobs.size())));
    if (workers > 1) {
        TestPicture::loadFonts();
    }
    std::vector<std::thread> threads;
    for (int w = 1; w < workers; ++w) {
        threads.emplace_back(work);
    }
    work();
    for (std::thread& t : threads) {
        t.join();
    }
    return m_error.isEmpty();
}

QString CardWriter::encodingSummary() const {
    QString text = QStringLiteral(", GOP %1").arg(m_options.gop);
    if (m_options.bframes > 0) {
        text += QStringLiteral(", %1 B-frames").arg(m_options.bframes);
    }
    if (m_options.profile == CardOptions::Profile::Camera) {
        text += QStringLiteral(", camera profile (High, front %1 kbit/s, rear %2 kbit/s)")
                    .arg(m_options.frontKbps)
                    .arg(m_options.rearKbps);
    }
    return text;
}

QString CardWriter::summary() const {
    QStringList groups;
    for (auto it = m_prefixes.constBegin(); it != m_prefixes.constEnd(); ++it) {
        groups << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    }
    const bool side = m_options.layout == CardOptions::Layout::Side;
    QStringList lines;
    lines << QStringLiteral("card:        %1").arg(QDir(m_options.outDir).absolutePath());
    lines << QStringLiteral("layout:      %1 (front %2, rear %3)")
                 .arg(side ? QStringLiteral("side") : QStringLiteral("folders"),
                      QDir(m_options.outDir).relativeFilePath(frontFolder()),
                      m_options.rear ? QDir(m_options.outDir).relativeFilePath(rearFolder())
                                     : QStringLiteral("none"));
    lines << QStringLiteral("recordings:  %1 x %2 s (%3)")
                 .arg(m_options.recordings)
                 .arg(m_options.seconds)
                 .arg(groups.join(QStringLiteral(", ")));
    lines << QStringLiteral("sensor:      %1")
                 .arg(m_options.sensor == CardOptions::Sensor::SingleTrack
                          ? QStringLiteral("type1 (one track of 64-byte records)")
                          : QStringLiteral("type2 (GPS and G-sensor tracks)"));
    lines << QStringLiteral("video:       %1, %2 fps%3")
                 .arg(m_options.tiny ? QStringLiteral("tiny samples") : QStringLiteral("H.264"))
                 .arg(m_options.fps)
                 .arg(m_options.tiny ? QString() : encodingSummary());
    lines << QStringLiteral("files:       %1, %2").arg(m_files).arg(megabytes(m_bytes));
    lines << QStringLiteral("time:        %1 s").arg(m_elapsed, 0, 'f', 1);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

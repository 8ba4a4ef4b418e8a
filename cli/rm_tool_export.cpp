#include "cli/rm_tool_export.h"

#include <unistd.h>

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "app/rm_app.h"
#include "export/rm_export_runner.h"
#include "recordings/rm_video_file_list.h"
#include "recordings/rm_video_item_2ch.h"

namespace {
enum ExitCode { kAllDone = 0, kNothingDone = 2 };
const char kTimeFormat[] = "yyyy-MM-dd HH:mm:ss";
}  // namespace

RMToolExport::RMToolExport(FILE* out, FILE* err) : _out(out), _err(err) {}

int RMToolExport::_fail(const QString& message) {
    std::fprintf(_err, "orvin-tool: %s\n", message.toUtf8().constData());
    return kNothingDone;
}

QList<RMClipSource> RMToolExport::sources(const QString& path) {
    const QFileInfo info(path);
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    QList<QUrl> urls;
    RMVideoFileList::appendFolderToList(folder, urls, 0);
    RMVideoFileList* list = RMVideoFileList::instance();
    list->loadFromList(urls);
    QList<RMVideoItem*> items;
    for (RMVideoItem* item : list->allItems()) {
        const QString file = info.absoluteFilePath();
        if (info.isDir() || QFileInfo(item->frontPath).absoluteFilePath() == file ||
            QFileInfo(item->rearPath).absoluteFilePath() == file) {
            items << item;
        }
    }
    return RMClipRange::sources(items);
}

QList<QCommandLineOption> RMToolExport::options() {
    return {{"start", "Start on the camera clock.", "time"},
            {"end", "End on the camera clock.", "time"},
            {"seconds", "Length of the clip.", "seconds"},
            {"layout", "original, inset or side.", "layout", "original"},
            {"stamp", "Burn the date, speed and position in."},
            {"no-stamp", "No stamp."},
            {"no-gpx", "No GPS track."},
            {"corner", "Corner of the rear inset: br, bl, tr or tl.", "corner", "br"},
            {"smaller", "Smaller file, slower encoding."},
            {"out", "Output folder.", "folder"}};
}

QString RMToolExport::parse(QCommandLineParser* parser, const QStringList& arguments,
                            const QString& command, QString* path, QDateTime* start,
                            QDateTime* end) {
    parser->addPositionalArgument("path", "A folder of recordings or one recording.");
    if (!parser->parse(arguments) || parser->positionalArguments().size() != 1) {
        return parser->errorText().isEmpty() ? command + " needs one FOLDER or FILE"
                                             : parser->errorText();
    }
    *path = parser->positionalArguments().first();
    if (!QFileInfo::exists(*path)) {
        return *path + ": no such file or folder";
    }
    return range(*parser, start, end);
}

QString RMToolExport::range(const QCommandLineParser& parser, QDateTime* start, QDateTime* end) {
    *start = QDateTime::fromString(parser.value("start"), kTimeFormat);
    *end = QDateTime::fromString(parser.value("end"), kTimeFormat);
    if (!start->isValid()) {
        return "--start needs a time \"yyyy-MM-dd HH:mm:ss\"";
    }
    if (parser.isSet("seconds") == parser.isSet("end")) {
        return "give either --end or --seconds";
    }
    if (parser.isSet("seconds")) {
        bool ok = false;
        const double seconds = parser.value("seconds").toDouble(&ok);
        if (!ok || seconds <= 0) {
            return "--seconds needs a positive number";
        }
        *end = start->addMSecs(qint64(seconds * 1000));
    } else if (!end->isValid()) {
        return "--end needs a time \"yyyy-MM-dd HH:mm:ss\"";
    }
    if (*end <= *start) {
        return "the start is not before the end";
    }
    return QString();
}

int RMToolExport::run(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOptions(options());
    QString path;
    QDateTime start;
    QDateTime end;
    const QString argumentError =
        RMToolExport::parse(&parser, arguments, "export", &path, &start, &end);
    if (!argumentError.isEmpty()) {
        return _fail(argumentError);
    }
    RMExportJob job;
    const QStringList layouts = {"original", "inset", "side"};
    const int layout = layouts.indexOf(parser.value("layout"));
    const QStringList corners = {"br", "bl", "tr", "tl"};
    const int corner = corners.indexOf(parser.value("corner"));
    if (layout < 0 || corner < 0) {
        return _fail(layout < 0 ? "--layout is original, inset or side"
                                : "--corner is br, bl, tr or tl");
    }
    job.layout = RMExportJob::Layout(layout);
    job.corner = RMExportJob::Corner(corner);
    job.stamp = !parser.isSet("no-stamp");
    job.gpx = !parser.isSet("no-gpx");
    job.smaller = parser.isSet("smaller");
    job.outDir = parser.isSet("out") ? parser.value("out") : RMApp::appPath(RMApp::PATH_EXPORT);
    job.cardRoot = QFileInfo(path).isDir() ? path : QFileInfo(path).absolutePath();
    job.replace = true;
    QString error;
    job.parts = RMClipRange::resolve(sources(path), start, end, &error);
    if (job.parts.isEmpty()) {
        return _fail(error);
    }
    const bool terminal = isatty(fileno(_err));
    int shown = -1;
    RMExportRunner runner(job);
    const RMExportResult result = runner.run([&](double fraction) {
        const int percent = int(fraction * 100);
        if (terminal && percent != shown) {
            shown = percent;
            std::fprintf(_err, "\r%3d%%", percent);
            std::fflush(_err);
        }
    });
    if (terminal) {
        std::fprintf(_err, "\n");
    }
    if (!result.ok) {
        return _fail(result.error);
    }
    for (const QString& file : result.files) {
        std::fprintf(_out, "%s\n", QDir::cleanPath(file).toUtf8().constData());
    }
    std::fflush(_out);
    return kAllDone;
}

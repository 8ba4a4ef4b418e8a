#include "cli/rm_tool_evidence.h"

#include <unistd.h>

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include "app/rm_app.h"
#include "cli/rm_tool_export.h"
#include "export/rm_evidence_pack.h"
#include "export/rm_export_runner.h"
#include "settings/cfg.h"

namespace {
enum ExitCode { kAllDone = 0, kNothingDone = 2 };
const char kTimeFormat[] = "yyyy-MM-dd HH:mm:ss";
}  // namespace

RMToolEvidence::RMToolEvidence(FILE* out, FILE* err) : _out(out), _err(err) {}

int RMToolEvidence::_fail(const QString& message) {
    std::fprintf(_err, "orvin-tool: %s\n", message.toUtf8().constData());
    return kNothingDone;
}

QList<QCommandLineOption> RMToolEvidence::options() {
    return {{"start", "Start on the camera clock.", "time"},
            {"end", "End on the camera clock.", "time"},
            {"seconds", "Length of the range.", "seconds"},
            {"at", "The moment of the first stills (default: the start).", "time"},
            {"lang", "The report's language: ja or en (default: the system's).", "lang"},
            {"out", "Output folder.", "folder"}};
}

int RMToolEvidence::run(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOptions(options());
    QString path;
    QDateTime start;
    QDateTime end;
    const QString argumentError =
        RMToolExport::parse(&parser, arguments, "evidence", &path, &start, &end);
    if (!argumentError.isEmpty()) {
        return _fail(argumentError);
    }
    RMExportJob job;
    job.layout = RMExportJob::LAYOUT_EVIDENCE;
    if (parser.isSet("at")) {
        job.at = QDateTime::fromString(parser.value("at"), kTimeFormat);
        if (!job.at.isValid() || job.at < start || job.at > end) {
            return _fail("--at needs a time \"yyyy-MM-dd HH:mm:ss\" within the range");
        }
    }
    const QString lang = parser.value("lang");
    if (!lang.isEmpty() && lang != "ja" && lang != "en") {
        return _fail("--lang is ja or en");
    }
    job.japanese =
        lang.isEmpty() ? QLocale::system().language() == QLocale::Japanese : lang == "ja";
    job.outDir = parser.isSet("out") ? parser.value("out") : RMApp::appPath(RMApp::PATH_EXPORT);
    job.cardRoot = QFileInfo(path).isDir() ? path : QFileInfo(path).absolutePath();
    job.replace = true;
    QString error;
    job.parts = RMClipRange::resolve(RMToolExport::sources(path), start, end, &error);
    if (job.parts.isEmpty()) {
        return _fail(error);
    }
    job.model = CFG::modelName(
        QDir(RMExportRunner::cardOf(job.parts.front().source.primary())).filePath("__SYSTEM.CFG"));
    const bool terminal = isatty(fileno(_err));
    int shown = -1;
    const RMExportResult result = RMEvidencePack(job).run([&](double fraction) {
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

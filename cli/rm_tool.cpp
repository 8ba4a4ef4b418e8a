#include "cli/rm_tool.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>
#include <QUrl>
#include <cerrno>
#include <cstring>

#include "app/version.h"
#include "cli/rm_tool_evidence.h"
#include "cli/rm_tool_export.h"
#include "mp4/mov_format.h"
#include "mp4/rm_mp4_index.h"
#include "recordings/rm_sensor_data.h"
#include "recordings/rm_track_export.h"
#include "recordings/rm_video_file_list.h"
#include "recovery/rm_recovery.h"
#include "settings/cfg.h"
#include "settings/rm_cfg_table.h"

namespace {
enum ExitCode { kAllDone = 0, kSomeSkipped = 1, kNothingDone = 2 };

QString groupName(int group) {
    switch (group) {
        case GROUP_NNF:
            return "NNF";
        case GROUP_NEF:
            return "NEF";
        case GROUP_PNF:
            return "PNF";
        case GROUP_PEF:
            return "PEF";
        default:
            return QString();
    }
}

// The name a recording goes by in exports: its file name without channel.
QString recordingName(const QString& path) {
    return RMVideoItem::fileNameWithoutChannel(path);
}

QByteArray utf8(const QString& text) {
    return text.toUtf8();
}
}  // namespace

RMTool::RMTool(FILE* out, FILE* err) : _out(out), _err(err) {}

namespace {
struct Command {
    const char* name;
    const char* arguments;
    const char* summary;
};

const Command kCommands[] = {
    {"list", "FOLDER [--normal] [--event] [--json]",
     "the recordings of a card or folder, as the viewer lists them"},
    {"gps", "FILE|FOLDER [--format gpx|csv|json] [-o OUT]",
     "the GPS track of a recording or of every recording of a folder"},
    {"gsensor", "FILE [--format csv|json] [-o OUT]", "the G-sensor samples of one recording"},
    {"cfg", "CARD_OR_FILE [--json]", "the camera's settings stored on a card"},
    {"recover", "FILE|FOLDER [--reference FILE] [--out DIR] [--dry-run]",
     "rebuild the index of recordings cut off by a power loss"},
    {"export",
     "FOLDER|FILE --start \"yyyy-MM-dd HH:mm:ss\" (--end \"yyyy-MM-dd HH:mm:ss\" | --seconds S)"
     " [--layout original|inset|side] [--stamp|--no-stamp] [--no-gpx] [--corner br|bl|tr|tl]"
     " [--smaller] [--out DIR]",
     "a clip of a range on the camera clock: original quality, or a composite"},
    {"evidence",
     "FOLDER|FILE --start \"yyyy-MM-dd HH:mm:ss\" (--end \"yyyy-MM-dd HH:mm:ss\" | --seconds S)"
     " [--at \"yyyy-MM-dd HH:mm:ss\"] [--lang ja|en] [--out DIR]",
     "an evidence pack of a range: the originals, clips, track, stills, report and hashes"},
};
}  // namespace

QString RMTool::usage() {
    QString text = "usage: orvin-tool COMMAND ARGUMENTS\n\n";
    for (const Command& c : kCommands) {
        text += QString("  %1 %2\n      %3\n").arg(c.name, c.arguments, c.summary);
    }
    return text +
           "\n  orvin-tool COMMAND --help   a command's options\n"
           "  orvin-tool --help | --version\n";
}

// One command's usage line, what it does and its options.
QString RMTool::commandUsage(const QString& command) {
    for (const Command& c : kCommands) {
        if (command != c.name) {
            continue;
        }
        QString text = QString("usage: orvin-tool %1 %2\n%3\n").arg(c.name, c.arguments, c.summary);
        const QList<QCommandLineOption> options = _options(command);
        if (!options.isEmpty()) {
            text += "\noptions:\n";
        }
        for (const QCommandLineOption& option : options) {
            QStringList names;
            for (const QString& name : option.names()) {
                names << (name.size() == 1 ? "-" : "--") + name;
            }
            QString left = names.join(", ");
            if (!option.valueName().isEmpty()) {
                left += " " + option.valueName().toUpper();
            }
            text += QString("  %1 %2\n").arg(left, -22).arg(option.description());
        }
        return text;
    }
    return QString();
}

// The options of each command, for parsing and for its usage.
QList<QCommandLineOption> RMTool::_options(const QString& command) {
    const QCommandLineOption output({"o", "output"}, "Output file (standard output when absent).",
                                    "file");
    if (command == "list") {
        return {{"normal", "Only normal recordings."},
                {"event", "Only event recordings."},
                {"json", "JSON instead of a table."}};
    }
    if (command == "gps") {
        return {{"format", "gpx (the default), csv or json.", "format", "gpx"}, output};
    }
    if (command == "gsensor") {
        return {{"format", "csv (the default) or json.", "format", "csv"}, output};
    }
    if (command == "cfg") {
        return {{"json", "JSON instead of text."}};
    }
    if (command == "recover") {
        return {{"reference", "A complete recording of the same camera and channel.", "file"},
                {"out", "Folder for the recovered recordings.", "folder"},
                {"dry-run", "Report what could be recovered; write nothing."}};
    }
    if (command == "export") {
        return RMToolExport::options();
    }
    if (command == "evidence") {
        return RMToolEvidence::options();
    }
    return {};
}

QString RMTool::versionText() {
    return "orvin-tool " ORVIN_VERSION "\n";
}

int RMTool::_fail(const QString& message) {
    std::fprintf(_err, "orvin-tool: %s\n", utf8(message).constData());
    return kNothingDone;
}

void RMTool::_warn(const QString& message) {
    std::fprintf(_err, "orvin-tool: %s\n", utf8(message).constData());
}

void RMTool::_progress(int done, int count, const QString& name) {
    if (_showProgress) {
        std::fprintf(_err, "[%d/%d] %s\n", done, count, utf8(name).constData());
    }
}

int RMTool::run(const QStringList& arguments) {
    const QString command = arguments.value(1);
    const QStringList rest = arguments.mid(1);
    const QString help = commandUsage(command);
    if (!help.isEmpty() && (rest.contains("--help") || rest.contains("-h"))) {
        std::fprintf(_out, "%s", utf8(help).constData());
        return kAllDone;
    }
    if (command == "list") {
        return _list(rest);
    }
    if (command == "gps") {
        return _gps(rest);
    }
    if (command == "gsensor") {
        return _gsensor(rest);
    }
    if (command == "cfg") {
        return _cfg(rest);
    }
    if (command == "recover") {
        return _recover(rest);
    }
    if (command == "export") {
        return RMToolExport(_out, _err).run(rest);
    }
    if (command == "evidence") {
        return RMToolEvidence(_out, _err).run(rest);
    }
    if (command == "--help" || command == "-h" || command == "help") {
        std::fprintf(_out, "%s", utf8(usage()).constData());
        return kAllDone;
    }
    if (command == "--version") {
        std::fprintf(_out, "%s", utf8(versionText()).constData());
        return kAllDone;
    }
    if (command.isEmpty()) {
        std::fprintf(_err, "%s", utf8(usage()).constData());
        return kNothingDone;
    }
    return _fail("unknown command '" + command + "' (see orvin-tool --help)");
}

QList<RMVideoItem*> RMTool::_loadFolder(const QString& folder, int filter, QStringList* unusable,
                                        QStringList* inputs) {
    QList<QUrl> urls;
    RMVideoFileList::appendFolderToList(QFileInfo(folder).absoluteFilePath(), urls, 0);
    RMVideoFileList* list = RMVideoFileList::instance();
    list->loadFromList(urls);
    list->setFilter(FILTER_NORMAL, filter & FILTER_NORMAL);
    list->setFilter(FILTER_EVENT, filter & FILTER_EVENT);
    if (urls.isEmpty()) {
        return QList<RMVideoItem*>();
    }
    if (unusable) {
        *unusable = _unmeasurable(urls, list->allItems());
    }
    if (inputs) {
        for (const QUrl& url : urls) {
            *inputs << url.toLocalFile();
        }
    }
    return list->shownItems();
}

QStringList RMTool::_unmeasurable(const QList<QUrl>& urls, const QList<RMVideoItem*>& items) {
    QSet<QString> used;
    for (RMVideoItem* item : items) {
        used << item->frontPath << item->rearPath;
    }
    QStringList unusable;
    for (const QUrl& url : urls) {
        const QString path = QDir::cleanPath(url.toLocalFile());
        if (used.contains(path)) {
            continue;
        }
        // The list leaves out files it cannot measure; name them.
        if (RMVideoFileList::instance()->lastCutOff().contains(path)) {
            unusable << path + ": cut off, no index";
            continue;
        }
        quint32 duration = 0;
        _loadFile(path, &duration);
        if (duration == 0) {
            unusable << path + ": not an MP4 recording";
        }
    }
    return unusable;
}

RMTool::Loaded RMTool::_loadFile(const QString& path, quint32* durationMs) {
    Loaded loaded;
    loaded.name = recordingName(path);
    loaded.path = path;
    if (RMMp4Index::isCutOff(path)) {
        loaded.problem = path +
                         ": cut off by a power loss (no index); recover it with: orvin-tool "
                         "recover " +
                         path;
        return loaded;
    }
    FILE* file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!file) {
        loaded.problem = path + ": cannot be read";
        return loaded;
    }
    _AVIPreInfo info = {};
    MOVFormat::duration(file, &info);
    if (info.durationMs == 0) {
        std::fclose(file);
        loaded.problem = path + ": not an MP4 recording";
        return loaded;
    }
    auto data = std::make_shared<RMSensorData>(file, FILE_TYPE_MP4);
    std::fclose(file);
    data->clipWithDuration(info.durationMs);
    data->fixGPS();
    if (durationMs) {
        *durationMs = info.durationMs;
    }
    if (data->sensorCount == 0 && data->gpsCount == 0) {
        loaded.problem = path + ": no sensor data";
        return loaded;
    }
    loaded.data = data;
    return loaded;
}

bool RMTool::_recordings(const QString& path, QList<Loaded>* loaded) {
    const QFileInfo info(path);
    if (!info.exists()) {
        _fail(path + ": no such file or folder");
        return false;
    }
    if (!info.isDir()) {
        loaded->append(_loadFile(path));
        return true;
    }
    if (!info.isReadable() || !QDir(path).isReadable()) {
        _fail(path + ": the folder cannot be read");
        return false;
    }
    QStringList unusable;
    QStringList inputs;
    const QList<RMVideoItem*> items =
        _loadFolder(path, FILTER_NORMAL | FILTER_EVENT, &unusable, &inputs);
    if (items.isEmpty()) {
        if (inputs.isEmpty()) {
            _fail(path + ": no recordings");
        } else {
            _warnLeftOut(path);
        }
        return false;
    }
    for (const QString& problem : unusable) {
        loaded->append({QString(), nullptr, problem, QString()});
    }
    // Every file of the folder counts as an input, partner files included.
    for (const QString& input : inputs) {
        loaded->append({QString(), nullptr, QString(), input});
    }
    _showProgress = true;
    for (int i = 0; i < items.size(); ++i) {
        _progress(i + 1, items.size(), items[i]->title());
        loaded->append(_loadFile(items[i]->primaryPath()));
    }
    return true;
}

int RMTool::_export(const QList<Loaded>& loaded, const QString& format, const QString& output,
                    bool gps) {
    if (_outputIsAnInput(output, loaded)) {
        return kNothingDone;
    }
    QList<RMTrackExport::Recording> good;
    QStringList skipped;
    for (const Loaded& one : loaded) {
        if (one.data && gps && RMTrackExport::fixCount(one.data.get()) == 0) {
            skipped << one.path + ": no GPS fix";
        } else if (one.data) {
            good.append({one.name, one.data.get()});
        } else if (!one.problem.isEmpty()) {
            skipped << one.problem;
        }
    }
    if (good.isEmpty()) {
        return _fail(skipped.isEmpty() ? QString("nothing to export") : skipped.first());
    }
    for (const QString& problem : skipped) {
        _warn("skipped " + problem);
    }
    QByteArray bytes;
    if (gps && format == "gpx") {
        bytes = RMTrackExport::gpx(good);
    } else if (format == "csv") {
        bytes = gps ? RMTrackExport::gpsCsv(good) : RMTrackExport::gsensorCsv(good);
    } else {
        bytes = gps ? RMTrackExport::gpsJson(good) : RMTrackExport::gsensorJson(good);
    }
    if (!_write(output, bytes)) {
        return kNothingDone;
    }
    return skipped.isEmpty() ? kAllDone : kSomeSkipped;
}

bool RMTool::_outputIsAnInput(const QString& output, const QList<Loaded>& loaded) {
    const QString target = QFileInfo(output).canonicalFilePath();
    if (output.isEmpty() || output == "-" || target.isEmpty()) {
        return false;  // standard output, or a file that does not exist yet
    }
    for (const Loaded& one : loaded) {
        if (!one.path.isEmpty() && QFileInfo(one.path).canonicalFilePath() == target) {
            _fail("-o " + output + ": that is one of the inputs");
            return true;
        }
    }
    return false;
}

bool RMTool::_write(const QString& output, const QByteArray& bytes) {
    if (output.isEmpty() || output == "-") {
        errno = 0;
        if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), _out) != size_t(bytes.size()) ||
            std::fflush(_out) != 0) {
            const int error = errno;
            _fail("cannot write to standard output: " +
                  QString::fromLocal8Bit(std::strerror(error ? error : EIO)));
            return false;
        }
        return true;
    }
    // Whole or not at all: an existing file is replaced only by a complete one.
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        _fail(output + ": " + file.errorString());
        return false;
    }
    return true;
}

int RMTool::_gps(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOptions(_options("gps"));
    if (!parser.parse(arguments) || parser.positionalArguments().size() != 1) {
        return _fail(parser.errorText().isEmpty() ? "gps needs one FILE or FOLDER"
                                                  : parser.errorText());
    }
    const QString format = parser.value("format");
    if (format != "gpx" && format != "csv" && format != "json") {
        return _fail("--format " + format + ": expected gpx, csv or json");
    }
    QList<Loaded> loaded;
    if (!_recordings(parser.positionalArguments().first(), &loaded)) {
        return kNothingDone;
    }
    return _export(loaded, format, parser.value("output"), true);
}

int RMTool::_gsensor(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOptions(_options("gsensor"));
    if (!parser.parse(arguments) || parser.positionalArguments().size() != 1) {
        return _fail(parser.errorText().isEmpty() ? "gsensor needs one FILE" : parser.errorText());
    }
    const QString format = parser.value("format");
    if (format != "csv" && format != "json") {
        return _fail("--format " + format + ": expected csv or json");
    }
    const QString path = parser.positionalArguments().first();
    if (!QFileInfo::exists(path)) {
        return _fail(path + ": no such file");
    }
    if (QFileInfo(path).isDir()) {
        return _fail(path + ": a folder; gsensor reads one recording");
    }
    return _export({_loadFile(path)}, format, parser.value("output"), false);
}

int RMTool::_list(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOptions(_options("list"));
    if (!parser.parse(arguments) || parser.positionalArguments().size() != 1) {
        return _fail(parser.errorText().isEmpty() ? "list needs one FOLDER" : parser.errorText());
    }
    const QString folder = parser.positionalArguments().first();
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir()) {
        return _fail(folder + ": a file; list takes a FOLDER (a card or a folder of recordings)");
    }
    if (!info.exists()) {
        return _fail(folder + ": no such folder");
    }
    if (!QDir(folder).isReadable()) {
        return _fail(folder + ": the folder cannot be read");
    }
    int filter = 0;
    filter |= parser.isSet("normal") ? FILTER_NORMAL : 0;
    filter |= parser.isSet("event") ? FILTER_EVENT : 0;
    QStringList inputs;
    const QList<RMVideoItem*> items = _loadFolder(folder, filter ? filter : 3, nullptr, &inputs);
    RMVideoFileList* list = RMVideoFileList::instance();
    if (inputs.isEmpty()) {
        return _fail(folder + ": no recordings");
    }
    _warnLeftOut(folder);
    if (list->allItems().isEmpty()) {
        return kNothingDone;
    }
    const int done =
        list->lastLeftOut() == 0 && list->lastCutOff().isEmpty() ? kAllDone : kSomeSkipped;
    QJsonArray rows;
    QList<QStringList> table;
    table << QStringList{"recording", "start", "duration_ms", "group", "gps", "g", "front", "rear"};
    for (RMVideoItem* item : items) {
        item->loadAVIInfo();
        const RMSensorData* data = item->sensorData;
        const bool gps = data && data->hasGPS && data->gpsCount > 0;
        const bool gsensor = data && data->sensorCount > 0;
        const QString start = item->dateTime.toString("yyyy-MM-ddTHH:mm:ss");
        rows.append(QJsonObject{
            {"recording", item->title()},
            {"start", start},
            {"duration_ms", qint64(item->durationMs)},
            {"group", groupName(item->groupType)},
            {"front", item->frontPath},
            {"rear", item->rearPath},
            {"gps", gps},
            {"gsensor", gsensor},
        });
        table << QStringList{item->title(),
                             start,
                             QString::number(item->durationMs),
                             groupName(item->groupType),
                             gps ? "yes" : "no",
                             gsensor ? "yes" : "no",
                             item->frontPath.isEmpty() ? "-" : item->frontPath,
                             item->rearPath.isEmpty() ? "-" : item->rearPath};
        item->clearSensorData();
    }
    if (parser.isSet("json")) {
        return _write(QString(), QJsonDocument(rows).toJson()) ? done : kNothingDone;
    }
    return _write(QString(), _columns(table)) ? done : kNothingDone;
}

// Rows as a table whose columns line up with their headers: each column as
// wide as its widest cell, numbers to the right.
QByteArray RMTool::_columns(const QList<QStringList>& rows) {
    QVector<int> widths;
    for (const QStringList& row : rows) {
        widths.resize(qMax(widths.size(), row.size()));
        for (int i = 0; i < row.size(); ++i) {
            widths[i] = qMax(widths[i], row[i].size());
        }
    }
    QByteArray text;
    for (int r = 0; r < rows.size(); ++r) {
        QStringList cells;
        for (int i = 0; i < rows[r].size(); ++i) {
            bool number = false;
            rows[r][i].toLongLong(&number);
            const bool last = i + 1 == rows[r].size();
            cells << (number && r > 0 ? rows[r][i].rightJustified(widths[i])
                      : last          ? rows[r][i]
                                      : rows[r][i].leftJustified(widths[i]));
        }
        text += cells.join("  ").toUtf8() + "\n";
    }
    return text;
}

// What the last load left out and why, as the viewer's status says it: the
// files cut off by a power loss (with the command that recovers them) and
// the files that are not recordings the viewer can read.
void RMTool::_warnLeftOut(const QString& folder) {
    const RMVideoFileList* list = RMVideoFileList::instance();
    const QStringList& cut = list->lastCutOff();
    const QStringList& leftOut = list->lastLeftOutFiles();
    if (list->allItems().isEmpty()) {
        _warn(folder + ": no recordings the viewer can play");
    }
    for (const QString& path : leftOut) {
        if (!cut.contains(path)) {
            _warn(path + ": left out: not a recording the viewer can read (no duration)");
        }
    }
    for (const QString& path : cut) {
        _warn(path + ": cut off, no index" +
              (leftOut.contains(path) ? QString() : QString("; its other channel is listed")));
    }
    if (!leftOut.isEmpty()) {
        _warn(QString("%1 file(s) left out of the list").arg(leftOut.size()));
    }
    if (!cut.isEmpty()) {
        _warn(QString("%1 recording file(s) cut off by a power loss; recover them with: "
                      "orvin-tool recover %2")
                  .arg(cut.size())
                  .arg(folder));
    }
}

QString RMTool::_settingText(const RMCfgField& field) {
    const int byte = CFG::data[field.offset];
    if (field.kind == RMCfgField::KIND_NUMBER) {
        const int tenths = (byte << 8) | CFG::data[field.lowOffset];
        return QString::number(tenths / 10.0, 'f', 1) + " " + field.unit;
    }
    QStringList options = field.options(false);
    int option = field.optionOf(byte);
    if (field.offset == RMCfgTable::OFFSET_TRAILER) {
        // The trailer's options are those of the vehicle type.
        options = RMCfgTable::trailerOptions(CFG::data[RMCfgTable::OFFSET_VEHICLE_TYPE]);
        option = byte < options.size() ? byte : -1;
    }
    return option >= 0 ? options.at(option) : QString("(raw %1)").arg(byte);
}

int RMTool::_cfg(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOptions(_options("cfg"));
    if (!parser.parse(arguments) || parser.positionalArguments().size() != 1) {
        return _fail(parser.errorText().isEmpty() ? "cfg needs one CARD or FILE"
                                                  : parser.errorText());
    }
    QString path = parser.positionalArguments().first();
    if (QFileInfo(path).isDir()) {
        path = QDir(path).filePath("__SYSTEM.CFG");
    }
    if (!QFileInfo::exists(path)) {
        return _fail(path + ": no such file");
    }
    if (!CFG::load(path)) {
        return _fail(path + ": not a camera settings file");
    }
    const QString model =
        QString::fromLatin1(reinterpret_cast<const char*>(CFG::data),
                            int(qstrnlen(reinterpret_cast<const char*>(CFG::data), 16)));
    QJsonArray settings;
    QByteArray text = "model: " + model.toUtf8() + "\n";
    for (const RMCfgField& field : RMCfgTable::fields()) {
        const QString label = field.english.trimmed();
        const QString value = _settingText(field);
        settings.append(QJsonObject{{"label", label},
                                    {"offset", field.offset},
                                    {"byte", int(CFG::data[field.offset])},
                                    {"text", value}});
        text += QString("%1 %2\n").arg(label + ":", -24).arg(value).toUtf8();
    }
    QJsonArray raw;
    QStringList rawText;
    for (int offset : RMCfgTable::uneditedOffsets()) {
        raw.append(QJsonObject{{"offset", offset}, {"byte", int(CFG::data[offset])}});
        rawText << QString("%1=%2").arg(offset).arg(CFG::data[offset]);
    }
    text += "not edited (offset=byte): " + rawText.join(' ').toUtf8() + "\n";
    if (parser.isSet("json")) {
        const QJsonObject object{{"model", model}, {"settings", settings}, {"unedited", raw}};
        return _write(QString(), QJsonDocument(object).toJson()) ? kAllDone : kNothingDone;
    }
    return _write(QString(), text) ? kAllDone : kNothingDone;
}

int RMTool::_recover(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOptions(_options("recover"));
    if (!parser.parse(arguments) || parser.positionalArguments().size() != 1) {
        return _fail(parser.errorText().isEmpty() ? "recover needs one FILE or FOLDER"
                                                  : parser.errorText());
    }
    const QString path = parser.positionalArguments().first();
    const QFileInfo info(path);
    if (!info.exists()) {
        return _fail(path + ": no such file or folder");
    }
    const QString reference = parser.value("reference");
    if (!reference.isEmpty() && !QFileInfo(reference).isFile()) {
        return _fail(reference + ": no such file");
    }
    QStringList files;
    if (info.isDir()) {
        files = RMRecovery::cutOffFiles(path);
        if (files.isEmpty()) {
            std::fprintf(_out, "no cut-off recordings in %s\n", utf8(path).constData());
            return kAllDone;
        }
    } else if (!RMRecovery::isCutOff(path)) {
        return _fail(path + ": not a cut-off recording");
    } else {
        files << path;
    }
    const bool dryRun = parser.isSet("dry-run");
    const QString out =
        parser.isSet("out") ? parser.value("out") : RMRecovery::recoveredFolder(path);
    int recovered = 0;
    for (const QString& file : files) {
        RMRecovery recovery;
        const RMRecovery::Result r = recovery.recover(file, reference, out, dryRun);
        if (r.recovered) {
            ++recovered;
            std::fprintf(_out, "%s\n", utf8(r.message).constData());
        } else {
            _warn(r.message);
        }
    }
    std::fflush(_out);
    if (recovered == 0) {
        return kNothingDone;
    }
    if (!dryRun) {
        // Standard output keeps one line per recording; where they went is a note.
        std::fprintf(_err, "orvin-tool: recovered recordings are in %s\n",
                     utf8(QDir(out).absolutePath()).constData());
    }
    return recovered == files.size() ? kAllDone : kSomeSkipped;
}

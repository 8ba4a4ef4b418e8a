#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <memory>

class RMSensorData;
class QUrl;
struct RMCfgField;
class RMVideoItem;

// The command-line companion: lists a card as the viewer does and exports
// GPS and G-sensor data. Each command returns the process exit code:
// 0 all done, 1 done but some recordings were skipped (named on standard
// error), 2 nothing done (bad input, with a one-line message).
class RMTool {
public:
    RMTool(FILE* out, FILE* err);

    int run(const QStringList& arguments);

    static QString usage();
    // A command's usage and options; empty for an unknown command.
    static QString commandUsage(const QString& command);
    static QString versionText();

private:
    static QList<class QCommandLineOption> _options(const QString& command);
    // One recording's sensor data, or why there is none.
    struct Loaded {
        QString name;
        std::shared_ptr<RMSensorData> data;
        QString problem;
        QString path;
    };

    int _list(const QStringList& arguments);
    int _gps(const QStringList& arguments);
    int _gsensor(const QStringList& arguments);
    int _cfg(const QStringList& arguments);
    int _recover(const QStringList& arguments);
    static QString _settingText(const RMCfgField& field);

    // The recordings of a folder in list order, or of one file.
    bool _recordings(const QString& path, QList<Loaded>* loaded);
    QList<RMVideoItem*> _loadFolder(const QString& folder, int filter,
                                    QStringList* unusable = nullptr, QStringList* inputs = nullptr);
    QStringList _unmeasurable(const QList<QUrl>& urls, const QList<RMVideoItem*>& items);
    Loaded _loadFile(const QString& path, quint32* durationMs = nullptr);
    int _export(const QList<Loaded>& loaded, const QString& format, const QString& output,
                bool gps);
    bool _write(const QString& output, const QByteArray& bytes);
    // True (with the one-line message given) when output names an input.
    bool _outputIsAnInput(const QString& output, const QList<Loaded>& loaded);

    void _warnLeftOut(const QString& folder);
    static QByteArray _columns(const QList<QStringList>& rows);
    int _fail(const QString& message);
    void _warn(const QString& message);
    void _progress(int done, int count, const QString& name);

    FILE* _out;
    FILE* _err;
    bool _showProgress = false;
};

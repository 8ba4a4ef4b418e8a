#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDateTime>
#include <QList>
#include <QStringList>
#include <cstdio>

#include "export/rm_clip_range.h"

// `orvin-tool export`: a clip of a range of a folder's (or one file's)
// recordings, as the viewer's export window makes it. Prints one line per
// file written; progress goes to standard error when that is a terminal.
class RMToolExport {
public:
    RMToolExport(FILE* out, FILE* err);
    // arguments start with "export"; returns the exit code.
    int run(const QStringList& arguments);
    // The command's options, for its parser and its usage.
    static QList<QCommandLineOption> options();
    // Parses the arguments of `command` (its options already added): one
    // existing FOLDER or FILE and the range of --start with --end or
    // --seconds. An error message, or empty with path, start and end set.
    static QString parse(QCommandLineParser* parser, const QStringList& arguments,
                         const QString& command, QString* path, QDateTime* start, QDateTime* end);

    // The recordings of a folder, or the one recording a file belongs to.
    static QList<RMClipSource> sources(const QString& path);

private:
    // The range given by --start with --end or --seconds: an error message,
    // or empty with both times set.
    static QString range(const QCommandLineParser& parser, QDateTime* start, QDateTime* end);
    int _fail(const QString& message);

    FILE* _out;
    FILE* _err;
};

#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QStringList>
#include <cstdio>

// `orvin-tool evidence`: the evidence pack of a range of a folder's (or one
// file's) recordings, as the viewer's export window makes it. Prints the
// pack's folder; progress goes to standard error when that is a terminal.
class RMToolEvidence {
public:
    RMToolEvidence(FILE* out, FILE* err);
    // arguments start with "evidence"; returns the exit code.
    int run(const QStringList& arguments);
    // The command's options, for its parser and its usage.
    static QList<QCommandLineOption> options();

private:
    int _fail(const QString& message);

    FILE* _out;
    FILE* _err;
};

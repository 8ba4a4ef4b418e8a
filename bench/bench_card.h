#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <cstdio>

// The card a benchmark works on: the one given with --card, or a card of
// `recordings` tiny 60 s recordings made in `folder` with orvin-make-card.
// Empty when the card cannot be made.
inline QString benchCard(const QString& given, const QString& folder, const QString& recordings) {
    if (!given.isEmpty()) {
        return given;
    }
    std::printf("making a %s-recording card...\n", qPrintable(recordings));
    std::fflush(stdout);
    const QString maker = QCoreApplication::applicationDirPath() + "/orvin-make-card";
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(maker,
                  {folder, "--recordings", recordings, "--seconds", "60", "--tiny", "--quiet"});
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        std::fprintf(stderr, "cannot make the card with %s\n", qPrintable(maker));
        return QString();
    }
    return folder;
}

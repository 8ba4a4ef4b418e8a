#pragma once

#include <QByteArray>
#include <QString>

// The camera's settings file "__SYSTEM.CFG": a 96-byte record beginning with
// the model name. A fresh card holds the camera's default record.
class SystemConfig {
public:
    static constexpr int kSize = 96;
    static constexpr const char* kFileName = "__SYSTEM.CFG";
    static constexpr const char* kModel = "VK7300";

    static QByteArray defaultRecord();
    // The firmware line of VERSION.TXT.
    static QByteArray versionLine();
};

#include "app/rm_web_engine_flags.h"

#include <unistd.h>

#include <QFile>
#include <QtDebug>

namespace {
// A kernel setting that holds 0 turns user namespaces off; an absent file
// says nothing.
bool kernelSettingIsZero(const char* path) {
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) && file.readAll().trimmed() == "0";
}
}  // namespace

QByteArray RMWebEngineFlags::flags(bool sandboxUsable) {
    QByteArray result = "--disable-gpu";
    if (!sandboxUsable) {
        result += " --no-sandbox";
    }
    return result;
}

bool RMWebEngineFlags::sandboxUsable() {
    return geteuid() != 0 && !kernelSettingIsZero("/proc/sys/user/max_user_namespaces") &&
           !kernelSettingIsZero("/proc/sys/kernel/unprivileged_userns_clone");
}

void RMWebEngineFlags::apply() {
    const bool usable = sandboxUsable();
    if (!usable) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "map web engine runs without its sandbox:"
                << (geteuid() == 0 ? "running as root" : "no user namespaces");
    }
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags(usable));
}

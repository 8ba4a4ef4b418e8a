#include "app/rm_folder_chooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QStandardPaths>
#include <QTreeView>
#include <QtDebug>

#include "app/rm_removable_disks.h"

namespace {
const QSize kDialogSize(900, 560);
// Wide enough for a date and time in either language.
const int kDateColumnWidth = 170;

void addIfExists(QList<QUrl>& urls, const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isDir()) {
        return;
    }
    const QUrl url = QUrl::fromLocalFile(QDir::cleanPath(path));
    if (!urls.contains(url)) {
        urls << url;
    }
}
}  // namespace

QString RMFolderChooser::startFolder(const QString& startDir) {
    QString path = startDir.isEmpty() ? QString() : QDir::cleanPath(startDir);
    while (!path.isEmpty() && !QFileInfo(path).isDir()) {
        const QString parent = QFileInfo(path).path();
        path = parent == path ? QString() : parent;
    }
    return path.isEmpty() ? QDir::homePath() : path;
}

QList<QUrl> RMFolderChooser::places(const QString& startDir) {
    QList<QUrl> urls;
    addIfExists(urls, QDir::homePath());
    addIfExists(urls, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    addIfExists(urls, QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    for (const QString& root : RMRemovableDisks::writableRemovableRoots()) {
        addIfExists(urls, root);
    }
    addIfExists(urls, startFolder(startDir));
    return urls;
}

void RMFolderChooser::_prepare(QFileDialog& dialog, const QString& startDir) {
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setDirectory(startFolder(startDir));
    // What follows shapes Qt's own dialog; a native one ignores it.
    dialog.setSidebarUrls(places(startDir));
    dialog.setViewMode(QFileDialog::Detail);
    dialog.resize(kDialogSize);
    if (auto* tree = dialog.findChild<QTreeView*>("treeView")) {
        QHeaderView* header = tree->header();
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        if (header->count() > 3) {
            header->resizeSection(3, kDateColumnWidth);
        }
    }
}

QString RMFolderChooser::choose(QWidget* parent, const QString& startDir, const QString& caption) {
    QFileDialog dialog(parent, caption);
    _prepare(dialog, startDir);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return QString();
    }
    const QString folder = QDir::cleanPath(dialog.selectedFiles().first());
    qInfo() << Q_FUNC_INFO << __LINE__ << folder;
    return folder;
}

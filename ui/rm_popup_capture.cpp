#include "ui/rm_popup_capture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>
#include <QtDebug>

#include "app/rm_app.h"
#include "app/rm_language.h"
#include "app/rm_settings.h"
#include "backup/rm_file_copier.h"
#include "core/rm_player.h"
#include "ui/rm_dialog_overwrite_sys.h"
#include "widgets/rm_button.h"
#include "widgets/rm_layout.h"
#include "widgets/rm_path_field.h"

RMPopupCapture::RMPopupCapture(QWidget* parent, QList<QString>* files)
    : RMPopup(parent, RMLanguage::instance()->text("キャプチャー", "Save Capture"), QString(),
              Qt::WindowFlags()),
      _files(files) {
    RMLanguage* language = RMLanguage::instance();
    setModal(true);
    setFixedSize(482, 277);
    hideCloseButton();

    QVBoxLayout* layout = _createContentPanel();
    QWidget* panel = layout->parentWidget();
    RMLayout::addLabel(
        panel, layout,
        language->text("キャプチャーをJPEGで保存します", "Save capture file in JPEG"),
        "text_header_label");
    RMLayout::addSpacer(layout, 0, 30);

    auto* nameRow = new QHBoxLayout;
    nameRow->setSpacing(10);
    RMLayout::addLabel(panel, nameRow, language->text("ファイル名 : ", "File Name: "), "");
    _name = new QLineEdit(panel);
    _name->setObjectName("file");
    _name->setText(files != nullptr && !files->isEmpty() ? proposedName(files->first())
                                                         : QString());
    nameRow->addWidget(_name);
    RMLayout::addSpacer(nameRow, 70, 0);
    layout->addLayout(nameRow);

    auto* folderRow = new QHBoxLayout;
    folderRow->setSpacing(10);
    _folder = new RMPathField(panel);
    _folder->setObjectName("file");
    _folder->setPath(RMSettings::instance()->lastBackupPath());
    folderRow->addWidget(_folder);
    _change = RMButton::create(panel, folderRow, "button", QString(), QSize(60, 30));
    _change->setText(language->text("変更", "Other.."));
    layout->addLayout(folderRow);
    connect(_change, SIGNAL(clicked()), this, SLOT(onChangeFolder()));

    buttonLayout()->setAlignment(Qt::AlignRight);
    _save = addPopupButton(language->text("保存", "Save"));
    RMLayout::addSpacer(buttonLayout(), 10, 0);
    _cancel = addPopupButton(language->text("キャンセル", "Cancel"));
    RMLayout::addSpacer(buttonLayout(), 20, 0);
    connect(_save, SIGNAL(clicked()), this, SLOT(onOK()));
    connect(_cancel, SIGNAL(clicked()), this, SLOT(reject()));
}

QString RMPopupCapture::proposedName(const QString& capturedFile) {
    const QString base = QFileInfo(capturedFile).fileName().section('.', 0, 0);
    const QStringList parts = base.split('_');
    if (parts.size() > 1 && !parts.at(1).contains("CH")) {
        return parts.at(0) + "_" + parts.at(1);
    }
    return parts.at(0);
}

QString RMPopupCapture::targetFor(const QString& capturedFile) const {
    RMLanguage* language = RMLanguage::instance();
    QString front = language->text("前方", "Front");
    QString rear = language->text("後方", "Rear");
    // A recording without a front file plays its rear file in the front
    // player: that picture is the rear camera's.
    if (RMPlayer::instance()->isRearAsFront()) {
        std::swap(front, rear);
    }
    const QString label = QFileInfo(capturedFile).fileName().contains("CH1") ? front : rear;
    return QDir::cleanPath(_folder->path() + QDir::separator() + _name->text() + "_" + label +
                           ".jpg");
}

bool RMPopupCapture::_isFileExist() const {
    for (const QString& file : *_files) {
        if (QFileInfo::exists(targetFor(file))) {
            return true;
        }
    }
    return false;
}

void RMPopupCapture::_warn(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QString(), text, QMessageBox::Ok, parent);
    box.exec();
}

void RMPopupCapture::showSaveFailed(QWidget* parent) {
    _warn(parent,
          RMLanguage::instance()->text("JPEGファイル生成に失敗しました。", "Unable to save file."));
}

void RMPopupCapture::removeWorkingFile(const QString& file) {
    QFile::setPermissions(file, QFile::permissions(file) | QFileDevice::WriteOwner);
    QFile::remove(file);
}

bool RMPopupCapture::_checkName() {
    const QString name = _name->text();
    if (name.isEmpty()) {
        _warn(this, RMLanguage::instance()->text("ファイル名を入れてください。",
                                                 "Please enter a file name."));
        return false;
    }
    if (name.contains('/') || name.contains('\\') || name == "." || name == "..") {
        _warn(this, RMLanguage::instance()->text("ファイル名に / や \\ は使えません。",
                                                 "A file name cannot contain / or \\."));
        return false;
    }
    return true;
}

void RMPopupCapture::onOK() {
    if (_files == nullptr || !_checkName()) {
        return;
    }
    if (_isFileExist()) {
        QWidget* main = parentWidget() != nullptr ? parentWidget() : this;
        RMDialogOverwriteSys confirm(main, _name->text() + "_*.jpg");
        if (confirm.exec() != QDialog::Accepted) {
            return;
        }
    }
    accept();
}

void RMPopupCapture::onChangeFolder() {
    QString folder = RMApp::openFolder(
        _folder->path(), true, RMLanguage::instance()->text("フォルダー変更", "JPEG files"));
    if (folder.isEmpty()) {
        return;
    }
    RMSettings::instance()->setLastBackupPath(folder);
    _folder->setPath(folder);
}

bool RMPopupCapture::saveFiles() {
    if (_files == nullptr) {
        return false;
    }
    bool allSaved = true;
    _saved.clear();
    for (const QString& file : *_files) {
        QString error;
        // The copy is checked before it replaces anything; only then does
        // the working picture go.
        if (!RMFileCopier::copy(file, targetFor(file), &error)) {
            qInfo() << "RMPopupCapture::saveFiles" << __LINE__ << error;
            allSaved = false;
            continue;
        }
        _saved << targetFor(file);
        removeWorkingFile(file);
    }
    if (!allSaved) {
        showSaveFailed(this);
    }
    return allSaved;
}

#include "widgets/rm_popup_info.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/rm_language.h"
#include "widgets/rm_button.h"
#include "widgets/rm_layout.h"
#include "widgets/title_widget.h"

namespace {
const int kVersionMajor = 0;
const int kVersionMinor = 0;
const int kVersionPatch = 1;
const int kBuildNumber = 955;
}  // namespace

QString RMPopupInfo::viewerVersionText() {
    return QString::asprintf("Version : %d.%d.%d", kVersionMajor, kVersionMinor, kVersionPatch) +
           " (" + QString::number(kBuildNumber) + ")";
}

RMPopupInfo::RMPopupInfo(QWidget* parent, QString firmware, QString)
    : RMPopup(parent, "Viewer S/W " + QString("バージョン情報"), QString(), Qt::WindowFlags()) {
    RMLanguage* language = RMLanguage::instance();
    if (!language->isJapanese() && titleWidget()->titleLabel()) {
        titleWidget()->titleLabel()->setText("Viewer S/W Version Info.");
    }
    setFixedSize(320, 270);
    hideCloseButton();

    QVBoxLayout* layout = _createContentPanel();
    QWidget* panel = layout->parentWidget();
    RMLayout::addLabel(panel, layout,
                       language->text("Viewer S/W バージョン情報", "Viewer S/W Version Info."),
                       "text_header_label");
    RMLayout::addLabel(panel, layout, "    " + viewerVersionText(), "text_normal_label");
    RMLayout::addSpacer(layout, 0, 8);
    RMLayout::addLabel(panel, layout,
                       language->text("ファームウェアバージョン", "Firmware version"),
                       "text_header_label");
    const QString missing = language->text("設定ファイルがありません。", "Settings file not exist");
    _firmwareLabel = RMLayout::addLabel(
        panel, layout, "    " + (firmware.isEmpty() ? missing : firmware), "text_normal_label");
    RMLayout::addSpacer(layout, 0, 8);

    buttonLayout()->setAlignment(Qt::AlignCenter);
    connect(addPopupButton("OK"), SIGNAL(clicked()), this, SLOT(accept()));
}

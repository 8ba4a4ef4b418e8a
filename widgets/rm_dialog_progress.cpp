#include "widgets/rm_dialog_progress.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QVBoxLayout>

#include "app/rm_app.h"
#include "app/rm_language.h"
#include "widgets/rm_button.h"
#include "widgets/rm_widget_style_base.h"
#include "widgets/title_widget.h"

RMDialogProgress* RMDialogProgress::_progress = nullptr;
void (*RMDialogProgress::_cancelHandler)() = nullptr;

namespace {
// The list loader and the backup report progress on this scale.
const int kProgressMaximum = 364;
}  // namespace

RMDialogProgress* RMDialogProgress::start(QString text, bool cancellable, bool modal) {
    stop();
    _progress = new RMDialogProgress(RMApp::instance()->mainWindow(), text, cancellable);
    // Modality only takes effect when set before the dialog is shown.
    _progress->setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
    _progress->show();
    return _progress;
}

void RMDialogProgress::stop() {
    if (!_progress) {
        return;
    }
    RMDialogProgress* progress = _progress;
    _progress = nullptr;
    // Hidden while still modal: a modal window whose modality is dropped
    // while it shows is never taken off the application's modal list, and
    // every other window would stay blocked.
    progress->hide();
    delete progress;
}

void RMDialogProgress::setCancelHandler(void (*handler)()) {
    _cancelHandler = handler;
}

RMDialogProgress::RMDialogProgress(QWidget* parent, QString text, bool cancellable)
    : QDialog(parent, Qt::FramelessWindowHint) {
    setFixedSize(414, cancellable ? 140 : 120);

    _layout = new QVBoxLayout(this);
    _layout->setSpacing(0);
    _layout->setContentsMargins(0, 0, 0, 0);
    _title = new TitleWidget(this, text, QString(), true);
    _title->closeButton()->hide();
    _layout->addWidget(_title);

    auto* body = new QWidget(this);
    body->setObjectName("bg_widget");
    auto* bodyLayout = new QVBoxLayout(body);
    bodyLayout->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    auto* frame = new RMWidgetStyleBase(body, "all_border", false);
    frame->setFixedSize(398, 46);
    auto* frameLayout = new QHBoxLayout(frame);
    frameLayout->setAlignment(Qt::AlignCenter);
    _bar = new QProgressBar(frame);
    _bar->setTextVisible(false);
    _bar->setRange(0, kProgressMaximum);
    _bar->setValue(0);
    frameLayout->addWidget(_bar);
    bodyLayout->addWidget(frame);
    _layout->addWidget(body);

    if (cancellable) {
        auto* buttonBar = new QWidget(this);
        buttonBar->setObjectName("bg_widget");
        buttonBar->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        buttonBar->setFixedHeight(43);
        auto* buttonLayout = new QHBoxLayout(buttonBar);
        buttonLayout->setAlignment(Qt::AlignCenter);
        buttonLayout->setContentsMargins(0, 0, 0, 8);
        RMButton* cancel =
            RMButton::create(buttonBar, buttonLayout, "popup_button", QString(), QSize(120, 30));
        cancel->setText(RMLanguage::instance()->text("キャンセル", "Cancel"));
        connect(cancel, SIGNAL(clicked()), this, SLOT(onCancel()));
        _layout->addWidget(buttonBar);
    }
}

void RMDialogProgress::onUpdateValue(int value) {
    _bar->setValue(value);
}

void RMDialogProgress::onCancel() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (_cancelHandler) {
        _cancelHandler();
    }
}

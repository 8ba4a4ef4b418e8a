#include "ui/rm_popup_export.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QRadioButton>
#include <QRunnable>
#include <QThreadPool>
#include <QVBoxLayout>
#include <QtDebug>

#include "app/rm_app.h"
#include "app/rm_language.h"
#include "app/rm_settings.h"
#include "export/rm_clip_plan.h"
#include "export/rm_export_runner.h"
#include "widgets/rm_button.h"
#include "widgets/rm_layout.h"

namespace {
QString clock(const QDateTime& t) {
    return t.toString("yyyy/MM/dd HH:mm:ss.zzz").left(21);
}
}  // namespace

RMPopupExport::RMPopupExport(QWidget* parent, const QList<RMClipSource>& sources,
                             const QDateTime& in, const QDateTime& out, const QDateTime& now)
    : RMPopup(parent, RMLanguage::instance()->text("クリップ書き出し", "Export Clip"), QString(),
              Qt::WindowFlags()),
      _sources(sources),
      _in(in),
      _out(out),
      _now(now) {
    RMLanguage* language = RMLanguage::instance();
    setModal(true);
    setFixedSize(580, 540);  // room for the fourth choice
    hideCloseButton();

    QVBoxLayout* layout = _createContentPanel(6);
    QWidget* panel = layout->parentWidget();
    RMLayout::addLabel(panel, layout, language->text("範囲を書き出します", "Export the range"),
                       "text_header_label");
    auto* rangeRow = new QHBoxLayout;
    _range = new QLabel(panel);
    rangeRow->addWidget(_range, 1);
    RMButton* around = RMButton::create(panel, rangeRow, "button", QString(), QSize(180, 30));
    around->setText(language->text("現在位置の前後30秒", "30 s around now"));
    layout->addLayout(rangeRow);
    connect(around, SIGNAL(clicked()), this, SLOT(onAroundNow()));

    _layouts = new QButtonGroup(this);
    const QStringList ja = {"元の画質 (再エンコードなし、前方・後方の2ファイル)",
                            "前方＋後方の小窓 (1ファイル)", "前方・後方を左右に並べる (1ファイル)",
                            "証拠資料パック (元ファイル、SHA-256、レポート)"};
    const QStringList en = {"Original quality (no re-encoding, front and rear files)",
                            "Front with the rear inset (one video)",
                            "Front and rear side by side (one video)",
                            "Evidence pack (the original files, SHA-256, a report)"};
    for (int i = 0; i < ja.size(); ++i) {
        auto* button = new QRadioButton(language->text(ja[i], en[i]), panel);
        _layouts->addButton(button, i);
        layout->addWidget(button);
    }
    auto* cornerRow = new QHBoxLayout;
    RMLayout::addSpacer(cornerRow, 24, 0);
    RMLayout::addLabel(panel, cornerRow, language->text("小窓の位置 : ", "Inset corner: "), "");
    _corner = new QComboBox(panel);
    _corner->addItems({language->text("右下", "Bottom right"),
                       language->text("左下", "Bottom left"), language->text("右上", "Top right"),
                       language->text("左上", "Top left")});
    cornerRow->addWidget(_corner);
    cornerRow->addStretch(1);
    layout->addLayout(cornerRow);

    _stamp = new QCheckBox(
        language->text("日時・速度・位置を焼き込む", "Stamp the date, speed and position"), panel);
    _stamp->setChecked(true);
    _smaller = new QCheckBox(
        language->text("ファイルを小さくする (時間がかかります)", "Smaller file (takes longer)"),
        panel);
    _gpx = new QCheckBox(language->text("GPSトラック (GPX) も書き出す", "Also the GPS track (GPX)"),
                         panel);
    _gpx->setChecked(true);
    layout->addWidget(_stamp);
    layout->addWidget(_smaller);
    layout->addWidget(_gpx);
    _note = new QLabel(panel);
    _note->setWordWrap(true);
    _note->setMinimumHeight(36);
    layout->addWidget(_note);

    auto* folderRow = new QHBoxLayout;
    folderRow->setSpacing(10);
    _folder = new QLineEdit(panel);
    _folder->setObjectName("file");
    _folder->setReadOnly(true);
    _folder->setText(RMSettings::instance()->lastExportPath());
    folderRow->addWidget(_folder);
    _change = RMButton::create(panel, folderRow, "button", QString(), QSize(60, 30));
    _change->setText(language->text("変更", "Other.."));
    layout->addLayout(folderRow);
    connect(_change, SIGNAL(clicked()), this, SLOT(onChangeFolder()));

    buttonLayout()->setAlignment(Qt::AlignRight);
    _export = addPopupButton(language->text("書き出し", "Export"));
    RMLayout::addSpacer(buttonLayout(), 10, 0);
    _cancel = addPopupButton(language->text("キャンセル", "Cancel"));
    RMLayout::addSpacer(buttonLayout(), 20, 0);
    connect(_export, SIGNAL(clicked()), this, SLOT(onOK()));
    connect(_cancel, SIGNAL(clicked()), this, SLOT(reject()));
    connect(_layouts, SIGNAL(idClicked(int)), this, SLOT(onLayoutChanged()));

    _layouts->button(RMExportJob::LAYOUT_ORIGINAL)->setChecked(true);
    if (!(_in.isValid() && _out.isValid() && _in < _out)) {
        onAroundNow();  // without marks: 30 s around the current position
    } else {
        _showRange();
    }
    onLayoutChanged();
}

QRadioButton* RMPopupExport::layoutButton(RMExportJob::Layout layout) const {
    return qobject_cast<QRadioButton*>(_layouts->button(layout));
}

void RMPopupExport::onAroundNow() {
    if (_now.isValid()) {
        _in = _now.addMSecs(-kAroundMs);
        _out = _now.addMSecs(kAroundMs);
    }
    _showRange();
}

void RMPopupExport::_findLead() {
    _leadMs = -1;
    const QList<RMClipPart> parts = RMClipRange::resolve(_sources, _in, _out);
    if (parts.isEmpty()) {
        return;
    }
    const RMClipPlan::Span span{parts.front().source.primary(), parts.front().fromMs,
                                parts.front().toMs};
    QPointer<RMPopupExport> self(this);
    QThreadPool::globalInstance()->start(QRunnable::create([self, span] {
        RMClipPlan plan;
        const qint64 lead = plan.build({span}) ? plan.leadMs() : -1;
        // Back on the GUI thread, where the window may have closed meanwhile.
        QMetaObject::invokeMethod(
            qApp,
            [self, lead] {
                if (self) {
                    self->_showLead(lead);
                }
            },
            Qt::QueuedConnection);
    }));
}

void RMPopupExport::_showLead(qint64 leadMs) {
    _leadMs = leadMs;
    onLayoutChanged();
}

void RMPopupExport::_showRange() {
    _findLead();
    RMLanguage* language = RMLanguage::instance();
    if (!_in.isValid() || !_out.isValid()) {
        _range->setText(language->text("範囲がありません", "No range"));
        return;
    }
    _range->setText(QString("%1 – %2  (%3 %4)")
                        .arg(clock(_in), _out.toString("HH:mm:ss.zzz").left(10))
                        .arg(_in.msecsTo(_out) / 1000.0, 0, 'f', 1)
                        .arg(language->text("秒", "s")));
}

void RMPopupExport::onLayoutChanged() {
    RMLanguage* language = RMLanguage::instance();
    const int layout = _layouts->checkedId();
    const bool original = layout == RMExportJob::LAYOUT_ORIGINAL;
    const bool evidence = layout == RMExportJob::LAYOUT_EVIDENCE;
    _corner->setEnabled(layout == RMExportJob::LAYOUT_INSET || evidence);
    _stamp->setEnabled(!original && !evidence);
    _smaller->setEnabled(!original);
    _gpx->setEnabled(!evidence);
    QString note = language->text("H.264 (CRF 20) で書き出します。", "Written as H.264 (CRF 20).");
    if (evidence) {
        note = language->text(
            "カードの元ファイル、クリップ、GPS・G センサー、静止画 (現在位置と最大 G)、"
            "レポート (PDF) と SHA-256 の一覧を1つのフォルダーにまとめます。",
            "One folder with the card's original files, the clips, GPS and G-sensor data, "
            "stills (the current position and the largest G), a PDF report and the SHA-256 "
            "list.");
    }
    if (original) {
        note = language->text("元の画質のクリップは開始マークの前のキーフレームから始まります。",
                              "An original-quality clip starts at the key frame before the start "
                              "mark.");
        if (_leadMs >= 0) {
            note += ' ' + language->text("開始マークの %1 秒前です。", "That is %1 s before it.")
                              .arg(_leadMs / 1000.0, 0, 'f', 2);
        }
    }
    _note->setText(note);
}

void RMPopupExport::onChangeFolder() {
    const QString folder = RMApp::openFolder(
        _folder->text(), false, RMLanguage::instance()->text("フォルダー変更", "Export folder"));
    if (!folder.isEmpty()) {
        _folder->setText(QDir::cleanPath(folder));
    }
}

RMExportJob RMPopupExport::job() const {
    RMExportJob job;
    job.parts = RMClipRange::resolve(_sources, _in, _out);
    job.layout = RMExportJob::Layout(_layouts->checkedId());
    job.corner = RMExportJob::Corner(_corner->currentIndex());
    job.stamp = _stamp->isChecked() && job.layout != RMExportJob::LAYOUT_ORIGINAL;
    job.gpx = _gpx->isChecked();
    job.smaller = _smaller->isChecked();
    job.mph = RMApp::isMPH;
    job.outDir = _folder->text();
    job.at = _now;  // a pack's first stills
    job.japanese = RMLanguage::instance()->isJapanese();
    if (!job.parts.isEmpty()) {
        job.cardRoot = RMExportRunner::cardOf(job.parts.front().source.primary());
    }
    return job;
}

void RMPopupExport::_warn(const QString& text) {
    QMessageBox box(QMessageBox::Warning, QString(), text, QMessageBox::Ok, this);
    box.exec();
}

void RMPopupExport::onOK() {
    RMLanguage* language = RMLanguage::instance();
    const RMExportJob j = job();
    if (j.parts.isEmpty()) {
        _warn(language->text("範囲に録画がありません。", "The range holds no recording."));
        return;
    }
    if (RMExportRunner::isInside(j.outDir, j.cardRoot)) {
        _warn(language->text("SDカードには書き出せません。別のフォルダーを選んでください。",
                             "A clip cannot be written to the SD card. Choose another folder."));
        return;
    }
    QString folder = j.outDir;
    RMSettings::instance()->setLastExportPath(folder);
    accept();
}

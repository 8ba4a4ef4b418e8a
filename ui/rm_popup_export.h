#pragma once

#include <QDateTime>

#include "export/rm_export_job.h"
#include "widgets/rm_popup.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

// The export window: the range between the marks (or 30 s around the
// current position), the layout (original quality, front with the rear
// inset, side by side), the stamp, the GPS track, the quality and the output
// folder. Accepting it leaves a job to run; it writes nothing itself.
class RMPopupExport : public RMPopup {
    Q_OBJECT
public:
    RMPopupExport(QWidget* parent, const QList<RMClipSource>& sources, const QDateTime& in,
                  const QDateTime& out, const QDateTime& now);

    // The job the window describes (parts resolved; empty parts: no range).
    RMExportJob job() const;
    QDateTime rangeStart() const { return _in; }
    QDateTime rangeEnd() const { return _out; }

    QRadioButton* layoutButton(RMExportJob::Layout layout) const;
    QComboBox* cornerBox() const { return _corner; }
    QCheckBox* stampBox() const { return _stamp; }
    QCheckBox* gpxBox() const { return _gpx; }
    QCheckBox* smallerBox() const { return _smaller; }
    QLineEdit* folderEdit() const { return _folder; }
    QLabel* rangeLabel() const { return _range; }
    QLabel* noteLabel() const { return _note; }
    RMButton* exportButton() const { return _export; }

    // 15 s on each side of a moment.
    static constexpr qint64 kAroundMs = 15000;

public Q_SLOTS:
    void onAroundNow();
    void onChangeFolder();
    void onLayoutChanged();
    void onOK();

private:
    void _showRange();
    // Reads on the pool where the original cut would start and shows it.
    void _findLead();
    void _showLead(qint64 leadMs);
    void _warn(const QString& text);

    QList<RMClipSource> _sources;
    QDateTime _in;
    QDateTime _out;
    QDateTime _now;
    qint64 _leadMs = -1;  // GUI thread; -1 until known
    QLabel* _range;
    QLabel* _note;
    QButtonGroup* _layouts;
    QComboBox* _corner;
    QCheckBox* _stamp;
    QCheckBox* _gpx;
    QCheckBox* _smaller;
    QLineEdit* _folder;
    RMButton* _change;
    RMButton* _export;
    RMButton* _cancel;
};

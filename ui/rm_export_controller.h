#pragma once

#include <QObject>

#include "export/rm_export_job.h"

class QWidget;
class TitleWidget;

// Connects the clip marks and the export to the main window: the I and O
// keys set the marks, the title bar's Export button and F8 open the export
// window, the export runs as a task, and its end is told to the user (with
// the offer to open the folder), or its cause when it failed.
class RMExportController : public QObject {
    Q_OBJECT
public:
    RMExportController(QWidget* window, TitleWidget* title);

public Q_SLOTS:
    void onShowExport();
    void onFinished(const RMExportJob& job, const RMExportResult& result);

private:
    QString _message(const RMExportResult& result) const;

    QWidget* _window;
};

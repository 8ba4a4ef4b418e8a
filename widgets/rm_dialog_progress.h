#pragma once

#include <QDialog>

class QProgressBar;
class QVBoxLayout;
class TitleWidget;

// The one progress popup: opened over the main window for long work
// (loading a folder, a backup), optionally with a Cancel button. The owner
// of the work feeds it through onUpdateValue.
class RMDialogProgress : public QDialog {
    Q_OBJECT
public:
    // A modeless popup (modal false) lets the user go on using the window
    // while the work runs.
    static RMDialogProgress* start(QString text, bool cancellable, bool modal = true);
    static void stop();
    static RMDialogProgress* current() { return _progress; }

    QProgressBar* progressBar() const { return _bar; }

    // Called when the user cancels; the owner of the long work installs it.
    static void setCancelHandler(void (*handler)());

public Q_SLOTS:
    void onUpdateValue(int value);
    void onCancel();

private:
    RMDialogProgress(QWidget* parent, QString text, bool cancellable);

    static RMDialogProgress* _progress;
    static void (*_cancelHandler)();

    TitleWidget* _title;
    QVBoxLayout* _layout;
    QProgressBar* _bar;
};

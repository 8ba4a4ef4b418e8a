#pragma once

#include <QWidget>
#include <functional>

#include "app/rm_play_event.h"

class QHBoxLayout;
class QLabel;
class QShortcut;
class RMButton;
class RMVideoItem;

// The title bar: in the main window the language, settings, information and
// capture buttons with the window buttons; in a popup one close button.
class TitleWidget : public QWidget {
    Q_OBJECT
public:
    TitleWidget(QWidget* parent, QString text, QString logo, bool popup);

    RMButton* languageButton() const { return _languageButton; }
    RMButton* settingsButton() const { return _settingsButton; }
    RMButton* infoButton() const { return _infoButton; }
    RMButton* captureButton() const { return _captureButton; }
    RMButton* exportButton() const { return _exportButton; }
    QShortcut* settingsShortcut() const { return _settingsShortcut; }
    QShortcut* infoShortcut() const { return _infoShortcut; }
    QShortcut* captureShortcut() const { return _captureShortcut; }
    RMButton* minimizeButton() const { return _minimizeButton; }
    RMButton* fullScreenButton() const { return _fullScreenButton; }
    // The quit button of the main window or the close button of a popup.
    RMButton* closeButton() const { return _closeButton; }
    QLabel* titleLabel() const { return _titleLabel; }
    QHBoxLayout* leftLayout() const { return _leftLayout; }

    // Enables or disables the capture button together with its shortcut, and
    // the export button, which is offered when capture is.
    void setCaptureEnabled(bool enabled);

    // Tells whether a newly selected recording is on its way in (a stop then
    // keeps capture offered); the main window installs it.
    void setSwitchingCheck(std::function<bool()> switching) { _switching = std::move(switching); }

public Q_SLOTS:
    // Capture is offered while a recording is loaded.
    void onPlayEvent(PLAY_EVENT event, RMVideoItem* item);
    // The language button: asks the window to offer the language choice
    // (the popup itself has a title bar, so it is not opened from here).
    void onLanguage();
    // The export button's picture carries words.
    void onLanguageChange();

Q_SIGNALS:
    void languageRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void _createMainButtons();
    void _createPopupButtons();
    RMButton* _addButton(const char* objectName, const QString& japanese, const QString& english,
                         QSize size);
    QShortcut* _addShortcut(int key);

    RMButton* _languageButton = nullptr;
    RMButton* _settingsButton = nullptr;
    RMButton* _infoButton = nullptr;
    RMButton* _captureButton = nullptr;
    RMButton* _exportButton = nullptr;
    QShortcut* _settingsShortcut = nullptr;
    QShortcut* _infoShortcut = nullptr;
    QShortcut* _captureShortcut = nullptr;
    QHBoxLayout* _leftLayout = nullptr;
    QLabel* _titleLabel = nullptr;
    RMButton* _minimizeButton = nullptr;
    RMButton* _fullScreenButton = nullptr;
    RMButton* _closeButton = nullptr;
    QWidget* _rightWidget = nullptr;
    QHBoxLayout* _rightLayout = nullptr;
    std::function<bool()> _switching;
};

#pragma once

#include <QDialog>

class QHBoxLayout;
class QVBoxLayout;
class RMButton;
class RMWidgetDrag;
class TitleWidget;

// Frameless dialog with the popup title bar, a content area and a button
// bar. It can be moved by its title strip.
class RMPopup : public QDialog {
    Q_OBJECT
public:
    RMPopup(QWidget* parent, QString title, QString logo, Qt::WindowFlags flags);

    void hideCloseButton();
    void createLanguageLayout();
    // Offers the language choice in a popup over `parent` and applies and
    // stores what the user picked.
    static void chooseLanguage(QWidget* parent);

    TitleWidget* titleWidget() const { return _title; }
    QWidget* contentWidget() const { return _content; }
    QWidget* buttonBar() const { return _buttonBar; }
    QHBoxLayout* buttonLayout() const { return _buttonLayout; }
    RMButton* okButton() const { return _okButton; }
    RMButton* cancelButton() const { return _cancelButton; }

    // Adds a "popup_button" of 120 x 30 to the button bar.
    RMButton* addPopupButton(const QString& text);

    // The row chosen in the language popup: 0 automatic, 1 Japanese, 2 English.
    static int languageIndex;

public Q_SLOTS:
    void onLanguageSelected(int index);

protected:
    // Lays out a content panel with the usual margins and returns its layout.
    QVBoxLayout* _createContentPanel(int spacing = 0);

private:
    TitleWidget* _title;
    QVBoxLayout* _layout;
    RMWidgetDrag* _drag;
    QWidget* _content;
    QWidget* _buttonBar;
    QHBoxLayout* _buttonLayout;
    RMButton* _okButton = nullptr;
    RMButton* _cancelButton = nullptr;
};

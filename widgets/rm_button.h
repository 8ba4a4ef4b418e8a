#pragma once

#include <QPushButton>
#include <QSize>

class QLayout;

// Image button: its look comes from the style sheet through its object name,
// its pseudo-states and the dynamic properties set by setStyleStatus().
class RMButton : public QPushButton {
    Q_OBJECT
public:
    explicit RMButton(QWidget* parent);
    ~RMButton() override;

    // Makes a fixed-size button, adds it to layout and registers its
    // Japanese tooltip for language switching.
    static RMButton* create(QWidget* parent, QLayout* layout, const char* objectName,
                            QString tooltip, QSize size);

    void setStyleStatus(const char* property, bool value);
    void updateObject(QString objectName);

    bool state() const { return _state; }
    void setState(bool state) { _state = state; }

protected:
    bool event(QEvent* event) override;

private:
    void _repolish();

    bool _state = false;
};

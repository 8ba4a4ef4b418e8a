#pragma once

#include <QWidget>

// The panel behind a popup's content, painted from the style sheet.
class RMPopupContentBackground : public QWidget {
    Q_OBJECT
public:
    explicit RMPopupContentBackground(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

#pragma once

#include <QObject>
#include <QString>

class QBoxLayout;
class QLabel;
class QLayout;
class QSpacerItem;
class QWidget;

class RMLayout : public QObject {
    Q_OBJECT
public:
    // A fixed gap of w x h pixels.
    static QSpacerItem* addSpacer(QBoxLayout* layout, int w, int h);
    static QLabel* addLabel(QWidget* parent, QLayout* layout, QString text, const char* objectName);
};

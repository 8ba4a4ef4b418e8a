#pragma once

#include <QLineEdit>

// A read-only field that shows a folder path: a path too long for the field
// loses its middle, so its start and its end both show, and the whole path
// is the tooltip.
class RMPathField : public QLineEdit {
    Q_OBJECT
public:
    explicit RMPathField(QWidget* parent);

    void setPath(const QString& path);
    QString path() const { return _path; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void _showPath();

    QString _path;
};

#pragma once

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QtTest>

// What the widget tests share: answering the next modal dialog, writing and
// reading small files, and the geometry checks of what shows on screen.
namespace widget_fixture {

// Runs action on the next modal dialog, which must be a T; another dialog
// is closed so that the test fails instead of hanging.
template <typename T = QWidget, typename Action>
void answerModal(Action action) {
    QTimer::singleShot(0, [action]() {
        QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
        auto* modal = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!modal) {
            static_cast<QDialog*>(QApplication::activeModalWidget())->reject();
            QFAIL("another dialog opened");
        }
        action(modal);
    });
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

inline QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The rectangle of a widget in the coordinates of one of its ancestors.
inline QRect rectIn(const QWidget* widget, const QWidget* ancestor) {
    return QRect(widget->mapTo(ancestor, QPoint(0, 0)), widget->size());
}

}  // namespace widget_fixture

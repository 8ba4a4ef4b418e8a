// Viewer settings store and language choice, against a real conf.ini in a
// temporary home.
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <functional>

#include "app/rm_app.h"
#include "app/rm_language.h"
#include "app/rm_settings.h"
#include "test_support.h"

class TestSettings : public QObject {
    Q_OBJECT

    static QString confPath() { return RMApp::appPath(RMApp::PATH_CONFIG); }
    static QVariant stored(const QString& key) {
        return QSettings(confPath(), QSettings::IniFormat).value(key);
    }

private Q_SLOTS:
    void initTestCase() {
        RMApp::instance()->initialize(*qApp);
        QVERIFY(QFileInfo(RMApp::appPath(RMApp::PATH_CONFIG)).dir().exists());
    }

    // Each remembered folder: its default, no write while it is unchanged,
    // then the key it is stored under.
    void pathsAreWrittenOnlyWhenChanged() {
        RMSettings* settings = RMSettings::instance();
        QCOMPARE(settings->language(0), 0);
        QVERIFY(settings->autoLanguage());
        struct Path {
            const char* key;
            QString fallback;
            std::function<QString()> get;
            std::function<void(QString)> set;
        };
        const QString backup = RMApp::appPath(RMApp::PATH_BACKUP);
        const QList<Path> paths = {
            {"PATH/RECENT", QStandardPaths::writableLocation(QStandardPaths::DesktopLocation),
             [=] { return settings->lastMoviePath(); },
             [=](QString path) { settings->setLastMoviePath(path); }},
            {"PATH/BACKUP", backup, [=] { return settings->lastBackupPath(); },
             [=](QString path) { settings->setLastBackupPath(path); }},
            {"PATH/BACKUP_TARGET", backup, [=] { return settings->lastBackupTargetPath(); },
             [=](QString path) { settings->setLastBackupTargetPath(path); }},
        };
        for (const Path& path : paths) {
            QCOMPARE(path.get(), path.fallback);
            path.set(path.get());
        }
        QVERIFY(!QFile::exists(confPath()));
        for (const Path& path : paths) {
            const QString folder = orvin_test::home().path() + "/" + path.key;
            path.set(folder);
            QCOMPARE(stored(path.key).toString(), folder);
            QCOMPARE(path.get(), folder);
        }
    }

    void languageValuesAreSyncedAtOnce() {
        RMSettings* settings = RMSettings::instance();
        settings->setLanguage(RMLanguage::LANGUAGE_JAPANESE);
        QCOMPARE(stored("APP/LANGUAGE").toInt(), 1);
        settings->setAutoLanguage(false);
        QCOMPARE(stored("APP/LANGUAGE_AUTO").toBool(), false);
        QCOMPARE(settings->language(0), 1);
        QVERIFY(!settings->autoLanguage());
    }

    void localeNamesMapToLanguages() {
        QCOMPARE(RMLanguage::languageOfLocale("en_US"), RMLanguage::LANGUAGE_ENGLISH);
        QCOMPARE(RMLanguage::languageOfLocale("ja_JP"), RMLanguage::LANGUAGE_JAPANESE);
        QCOMPARE(RMLanguage::languageOfLocale("xx_jp"), RMLanguage::LANGUAGE_JAPANESE);
        QCOMPARE(RMLanguage::languageOfLocale("C"), RMLanguage::LANGUAGE_ENGLISH);
    }

    void languageStartsFromTheStore() {
        // Stored above: Japanese, not automatic.
        QCOMPARE(RMLanguage::instance()->language(), RMLanguage::LANGUAGE_JAPANESE);
        QVERIFY(!RMLanguage::isAuto);
    }

    void registeredTextsFollowTheLanguage() {
        RMLanguage* language = RMLanguage::instance();
        QPushButton button;
        QLabel label;
        language->append(RMLanguage::LANGUAGE_JAPANESE, RMLanguage::TEXT_TOOLTIP, &button, "停止");
        language->append(RMLanguage::LANGUAGE_JAPANESE, RMLanguage::TEXT_LABEL, &label, "地図");
        language->append(RMLanguage::LANGUAGE_ENGLISH, RMLanguage::TEXT_LABEL, &label, "Map");

        QSignalSpy changes(language, SIGNAL(languageChange(RMLanguage::LANGUAGE_TYPE)));
        language->setLanguage(RMLanguage::LANGUAGE_ENGLISH);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(label.text(), QString("Map"));
        // Registered only in Japanese: nothing to show in English.
        QCOMPARE(button.toolTip(), QString());
        QCOMPARE(stored("APP/LANGUAGE").toInt(), 2);

        language->setLanguage(RMLanguage::LANGUAGE_JAPANESE);
        QCOMPARE(button.toolTip(), QString("停止"));
        QCOMPARE(label.text(), QString("地図"));
    }

    void destroyedObjectsAreForgotten() {
        RMLanguage* language = RMLanguage::instance();
        auto* label = new QLabel;
        language->append(RMLanguage::LANGUAGE_ENGLISH, RMLanguage::TEXT_LABEL, label, "gone");
        delete label;
        // Must not touch the dead label.
        language->refresh();
        QCOMPARE(language->registered(label, RMLanguage::TEXT_LABEL, RMLanguage::LANGUAGE_ENGLISH),
                 QString());
    }
};

ORVIN_TEST_MAIN(TestSettings)
#include "test_settings.moc"

// Viewer settings store and language choice, against a real conf.ini in a
// temporary home.
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>

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

    void defaultsWithoutFile() {
        RMSettings* settings = RMSettings::instance();
        QCOMPARE(settings->lastMoviePath(),
                 QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
        QCOMPARE(settings->lastBackupPath(), RMApp::appPath(RMApp::PATH_BACKUP));
        QCOMPARE(settings->language(0), 0);
        QVERIFY(settings->autoLanguage());
    }

    void pathsAreWrittenOnlyWhenChanged() {
        RMSettings* settings = RMSettings::instance();
        QString desktop = settings->lastMoviePath();
        settings->setLastMoviePath(desktop);
        QString backup = settings->lastBackupPath();
        settings->setLastBackupPath(backup);
        QVERIFY(!QFile::exists(confPath()));

        QString folder = orvin_test::home().path() + "/card";
        settings->setLastMoviePath(folder);
        QCOMPARE(stored("PATH/RECENT").toString(), folder);
        QCOMPARE(settings->lastMoviePath(), folder);
        settings->setLastBackupPath(folder);
        QCOMPARE(stored("PATH/BACKUP").toString(), folder);
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

#pragma once

#include <QHash>
#include <QObject>
#include <QString>

// The interface language and the texts registered for switching: buttons
// register their tooltips and some labels their texts in both languages;
// refresh() re-applies the ones of the current language.
class RMLanguage : public QObject {
    Q_OBJECT
public:
    enum LANGUAGE_TYPE {
        LANGUAGE_JAPANESE = 1,
        LANGUAGE_ENGLISH = 2,
    };
    Q_ENUM(LANGUAGE_TYPE)

    enum TEXT_TYPE {
        TEXT_LABEL = 0x100,
        TEXT_TOOLTIP = 0x200,
    };

    static RMLanguage* instance();
    static LANGUAGE_TYPE systemLanguage();
    // The language a locale name of the form language_COUNTRY stands for.
    static LANGUAGE_TYPE languageOfLocale(const QString& localeName);

    LANGUAGE_TYPE language() const { return _language; }
    bool isJapanese() const { return _language == LANGUAGE_JAPANESE; }
    // The text of the current language.
    QString text(const QString& japanese, const QString& english) const {
        return isJapanese() ? japanese : english;
    }

    void append(LANGUAGE_TYPE language, TEXT_TYPE type, QObject* object, QString text);
    void remove(QObject* object);
    void setLanguage(LANGUAGE_TYPE language);
    void refresh();

    // Registered text of an object, empty when none (for tests and refresh).
    QString registered(QObject* object, TEXT_TYPE type, LANGUAGE_TYPE language) const;

    static bool isAuto;

Q_SIGNALS:
    void languageChange(RMLanguage::LANGUAGE_TYPE language);

private Q_SLOTS:
    void _onObjectDestroyed(QObject* object);

private:
    RMLanguage();

    LANGUAGE_TYPE _language;
    QHash<quint64, QHash<int, QString>> _texts;
};

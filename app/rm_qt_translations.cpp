#include "app/rm_qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <QtDebug>

RMQtTranslations::RMQtTranslations() : _qt(new QTranslator(this)), _qtBase(new QTranslator(this)) {}

RMQtTranslations* RMQtTranslations::install() {
    static RMQtTranslations* translations = nullptr;
    if (translations == nullptr) {
        translations = new RMQtTranslations();
        RMLanguage* language = RMLanguage::instance();
        connect(language, SIGNAL(languageChange(RMLanguage::LANGUAGE_TYPE)), translations,
                SLOT(onLanguageChange(RMLanguage::LANGUAGE_TYPE)));
        translations->onLanguageChange(language->language());
    }
    return translations;
}

void RMQtTranslations::onLanguageChange(RMLanguage::LANGUAGE_TYPE language) {
    const bool japanese = language == RMLanguage::LANGUAGE_JAPANESE;
    if (japanese == _loaded) {
        return;
    }
    if (!japanese) {
        QCoreApplication::removeTranslator(_qtBase);
        QCoreApplication::removeTranslator(_qt);
        _loaded = false;
        return;
    }
    const QString folder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    const bool qt = _qt->load("qt_ja", folder);
    const bool base = _qtBase->load("qtbase_ja", folder);
    if (!qt && !base) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "no Japanese catalogue of Qt in" << folder;
        return;
    }
    if (qt) {
        QCoreApplication::installTranslator(_qt);
    }
    if (base) {
        QCoreApplication::installTranslator(_qtBase);
    }
    _loaded = true;
}

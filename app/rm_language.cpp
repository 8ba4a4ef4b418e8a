#include "app/rm_language.h"

#include <QLocale>
#include <QVariant>

#include "app/rm_settings.h"

bool RMLanguage::isAuto = true;

namespace {
quint64 keyOf(QObject* object) {
    return reinterpret_cast<quintptr>(object);
}
}  // namespace

RMLanguage* RMLanguage::instance() {
    static RMLanguage* language = new RMLanguage();
    return language;
}

RMLanguage::RMLanguage() {
    qRegisterMetaType<RMLanguage::LANGUAGE_TYPE>("RMLanguage::LANGUAGE_TYPE");
    isAuto = RMSettings::instance()->autoLanguage();
    const int stored = RMSettings::instance()->language(systemLanguage());
    // Anything but Japanese is shown in English.
    _language = stored == LANGUAGE_JAPANESE ? LANGUAGE_JAPANESE : LANGUAGE_ENGLISH;
}

RMLanguage::LANGUAGE_TYPE RMLanguage::languageOfLocale(const QString& localeName) {
    return localeName.contains("JP", Qt::CaseInsensitive) ? LANGUAGE_JAPANESE : LANGUAGE_ENGLISH;
}

RMLanguage::LANGUAGE_TYPE RMLanguage::systemLanguage() {
    return languageOfLocale(QLocale::system().name());
}

void RMLanguage::append(LANGUAGE_TYPE language, TEXT_TYPE type, QObject* object, QString text) {
    if (!object) {
        return;
    }
    const quint64 key = keyOf(object);
    if (!_texts.contains(key)) {
        // A registered widget may die without unregistering; never keep a
        // dangling address that refresh() would touch.
        connect(object, SIGNAL(destroyed(QObject*)), this, SLOT(_onObjectDestroyed(QObject*)));
    }
    _texts[key][type | language] = text;
}

void RMLanguage::remove(QObject* object) {
    if (_texts.remove(keyOf(object)) > 0) {
        disconnect(object, SIGNAL(destroyed(QObject*)), this, SLOT(_onObjectDestroyed(QObject*)));
    }
}

void RMLanguage::_onObjectDestroyed(QObject* object) {
    _texts.remove(keyOf(object));
}

QString RMLanguage::registered(QObject* object, TEXT_TYPE type, LANGUAGE_TYPE language) const {
    return _texts.value(keyOf(object)).value(type | language);
}

void RMLanguage::refresh() {
    for (auto it = _texts.cbegin(); it != _texts.cend(); ++it) {
        auto* object = reinterpret_cast<QObject*>(static_cast<quintptr>(it.key()));
        if (object->inherits("QPushButton")) {
            object->setProperty("toolTip", it.value().value(TEXT_TOOLTIP | _language));
        } else if (object->inherits("QLabel")) {
            object->setProperty("text", it.value().value(TEXT_LABEL | _language));
        }
    }
}

void RMLanguage::setLanguage(LANGUAGE_TYPE language) {
    _language = language;
    refresh();
    RMSettings::instance()->setLanguage(language);
    Q_EMIT languageChange(language);
}

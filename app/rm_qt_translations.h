#pragma once

#include <QObject>

#include "app/rm_language.h"

class QTranslator;

// Qt's own texts (the folder chooser, standard buttons) in the interface
// language: Qt's Japanese catalogues are installed while the interface is
// Japanese and removed when it is not.
class RMQtTranslations : public QObject {
    Q_OBJECT
public:
    // Follows the language object from now on; applies its current language.
    static RMQtTranslations* install();

    // Whether Qt's Japanese catalogue is in use.
    bool isJapaneseLoaded() const { return _loaded; }

public Q_SLOTS:
    void onLanguageChange(RMLanguage::LANGUAGE_TYPE language);

private:
    RMQtTranslations();

    QTranslator* _qt;
    QTranslator* _qtBase;
    bool _loaded = false;
};

#include "widgets/rm_popup_message.h"

#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QVBoxLayout>

#include "widgets/rm_button.h"
#include "widgets/rm_popup_content_background.h"

RMPopupMessage::RMPopupMessage(QWidget* parent, QString title, QString text)
    : RMPopup(parent, title, QString(), Qt::WindowFlags()) {
    QFont measure;
    measure.setWeight(75);
    measure.setPointSize(16);
    // The longest line decides, so a message of several lines stays narrow.
    int width = 0;
    for (const QString& line : text.split('\n')) {
        width = qMax(width, QFontMetrics(measure).horizontalAdvance(line));
    }
    setFixedWidth(width + 30);

    QVBoxLayout* panelLayout = _createContentPanel();
    panelLayout->parentWidget()->setMinimumHeight(80);
    panelLayout->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    auto* label = new QLabel(text, panelLayout->parentWidget());
    label->setObjectName("text_header_label");
    label->setWordWrap(true);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    panelLayout->addWidget(label);

    buttonLayout()->setAlignment(Qt::AlignCenter);
    connect(addPopupButton("OK"), SIGNAL(clicked()), this, SLOT(accept()));
}

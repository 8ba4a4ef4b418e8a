#include "ui/rm_inset_slider_style.h"

#include <QApplication>
#include <QStyleFactory>
#include <QStyleOptionSlider>

namespace {
// A new instance of the style the application uses, Fusion when its name
// is not known to the factory.
QStyle* freshApplicationStyle() {
    const QString name = QApplication::style()->objectName();
    for (const QString& key : QStyleFactory::keys()) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return QStyleFactory::create(key);
        }
    }
    return QStyleFactory::create("Fusion");
}
}  // namespace

RMInsetSliderStyle::RMInsetSliderStyle() : QProxyStyle(freshApplicationStyle()) {}

QRect RMInsetSliderStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                         SubControl subControl, const QWidget* widget) const {
    const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control != CC_Slider || slider == nullptr || slider->orientation != Qt::Horizontal ||
        (_inset <= 0 && _bottom <= 0)) {
        return QProxyStyle::subControlRect(control, option, subControl, widget);
    }
    QStyleOptionSlider narrower(*slider);
    narrower.rect.adjust(_inset, 0, -_inset, -_bottom);
    return QProxyStyle::subControlRect(control, &narrower, subControl, widget);
}

// The application icon: a dark rounded tile with the big front lens and the
// small rear lens of a two-channel dash camera, in the interface's palette.
#pragma once

#include <QImage>

namespace app_icon {

// The icon drawn natively at side x side pixels (no scaling of a bitmap, so
// small sizes stay crisp).
QImage draw(int side);

}  // namespace app_icon

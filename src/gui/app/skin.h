// Small pieces every skinned window uses: control rectangles from dialog units, and the
// background picture painted under the controls.
#pragma once

#include <QPainter>
#include <QPixmap>
#include <QRect>

#include "gui/app/layout.h"

namespace tessel {

inline QRect ToQRect(const DluRect& r) {
  const PxRect px = DluToPx(r);
  return QRect(px.x, px.y, px.w, px.h);
}

enum class SkinFit { kStretch, kUnscaled };

// The picture over `area` (stretched onto it, or unscaled from its top-left corner); the
// window colour where the picture file was missing.
inline void PaintSkin(QPainter& painter, const QRect& area, const QPixmap& picture, SkinFit fit) {
  // Under a fractional desktop scale the pictures are resampled; keep their labels even.
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  if (picture.isNull()) {
    painter.fillRect(area, QColor(0x1f, 0x23, 0x28));
  } else if (fit == SkinFit::kStretch) {
    painter.drawPixmap(area, picture);
  } else {
    painter.drawPixmap(area.topLeft(), picture);
  }
}

}  // namespace tessel

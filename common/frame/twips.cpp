// SPDX-License-Identifier: MIT
#include "twips.h"

#include <QWidget>

#include <algorithm>

void growToCaption(QWidget *control, int maxWidthPx, bool growLeft)
{
    QRect r = control->geometry();
    const QSize hint = control->sizeHint();
    const int height = std::max(r.height(), std::min(hint.height(), control->fontMetrics().height() + 2));
    const int width = std::max(r.width(), std::min(hint.width(), maxWidthPx));
    const QPoint centre = r.center();
    r.setHeight(height);
    r.moveTop(centre.y() - (height - 1) / 2);
    if (growLeft)
        r.setLeft(r.right() - width + 1);
    else
        r.setWidth(width);
    control->setGeometry(r);
}

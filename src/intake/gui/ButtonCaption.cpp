#include "intake/gui/ButtonCaption.h"

#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace tz::intake::gui {

namespace {

bool fits(const QPushButton* b) {
    QStyleOptionButton o;
    o.initFrom(b);
    o.text = b->text();
    o.icon = b->icon();
    o.iconSize = b->iconSize();
    const QRect room = b->style()->subElementRect(QStyle::SE_PushButtonContents, &o, b);
    int need = b->fontMetrics().horizontalAdvance(QString(b->text()).remove(QLatin1Char('&')));
    if (!b->icon().isNull()) need += b->iconSize().width() + 4;
    return need <= room.width();
}

}  // namespace

bool fitCaption(QPushButton* b) {
    QFont f = b->font();
    for (int stretch = 96; !fits(b) && stretch >= 80; stretch -= 4) {
        f.setStretch(stretch);
        b->setFont(f);
    }
    while (!fits(b) && f.pointSizeF() > 6) {
        f.setPointSizeF(f.pointSizeF() - 0.5);
        b->setFont(f);
    }
    return fits(b);
}

}  // namespace tz::intake::gui

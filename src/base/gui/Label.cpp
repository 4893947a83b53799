#include "base/gui/Label.h"

#include <QFont>
#include <QLabel>
#include <QPalette>

namespace tz::base::gui {

namespace {

QLabel* styled(QWidget* parent, const QString& text, const QColor& colour, LabelStyle style) {
    auto* l = new QLabel(text, parent);
    QFont f = l->font();
    f.setBold(style.bold);
    f.setUnderline(style.underline);
    l->setFont(f);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, colour);
    l->setPalette(pal);
    l->setWordWrap(style.wrap);
    return l;
}

}  // namespace

QLabel* label(QWidget* parent, const QString& text, const QColor& colour, QRect geometry,
              LabelStyle style) {
    QLabel* l = styled(parent, text, colour, style);
    l->setGeometry(geometry);
    return l;
}

QLabel* label(QWidget* parent, const QString& text, const QColor& colour, QPoint at,
              LabelStyle style) {
    QLabel* l = styled(parent, text, colour, style);
    l->adjustSize();
    l->move(at);
    return l;
}

}  // namespace tz::base::gui

#pragma once
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QRect>
#include <QString>

namespace tz::timetable::gui {

// A fixed-place label of the timetable windows: coloured text, bold by default.
inline QLabel* etiqueta(QWidget* parent, const QString& text, QRect geometry, const QColor& colour,
                        bool bold = true, bool underline = false, bool wrap = false) {
    auto* l = new QLabel(text, parent);
    QFont f = l->font();
    f.setBold(bold);
    f.setUnderline(underline);
    l->setFont(f);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, colour);
    l->setPalette(pal);
    l->setWordWrap(wrap);
    l->setGeometry(geometry);
    return l;
}

}  // namespace tz::timetable::gui

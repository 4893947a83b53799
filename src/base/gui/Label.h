#pragma once
#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>

class QLabel;
class QWidget;

namespace tz::base::gui {

struct LabelStyle {
    bool bold = true;
    bool underline = false;
    bool wrap = false;  // breaks its text into lines within its width
};

// A label of the windows in coloured text: at a fixed place, or at a point and as wide as its
// text.
QLabel* label(QWidget* parent, const QString& text, const QColor& colour, QRect geometry,
              LabelStyle style = {});
QLabel* label(QWidget* parent, const QString& text, const QColor& colour, QPoint at,
              LabelStyle style = {});

}  // namespace tz::base::gui

#include "app/gui/GradientPanel.h"

#include <QLinearGradient>
#include <QPainter>

namespace tz::app::gui {

GradientPanel::GradientPanel(QVector<QColor> colours, QWidget* parent)
    : QWidget(parent), colours_(std::move(colours)) {}

void GradientPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    const auto n = colours_.size();
    for (qsizetype i = 0; i < n; ++i)
        g.setColorAt(n == 1 ? 0.0 : double(i) / double(n - 1), colours_[i]);
    p.fillRect(rect(), g);
}

}  // namespace tz::app::gui

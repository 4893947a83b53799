#pragma once
#include <QColor>
#include <QVector>
#include <QWidget>

namespace tz::app::gui {

// A panel painted with a top-to-bottom gradient through the given colours, evenly spaced.
class GradientPanel : public QWidget {
    Q_OBJECT
  public:
    GradientPanel(QVector<QColor> colours, QWidget* parent);
    const QVector<QColor>& colours() const { return colours_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QVector<QColor> colours_;
};

}  // namespace tz::app::gui

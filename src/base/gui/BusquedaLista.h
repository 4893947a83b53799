#pragma once
#include <QObject>
#include <QString>

class QLabel;
class QTreeWidget;

namespace tz::base::gui {

// Type-ahead for an open catalogue list: typed characters narrow the rows to those whose code
// or description holds the text (letter case ignored), Backspace widens again, the first row
// left becomes current, so Enter picks it. The text typed so far shows at the list's foot.
class BusquedaLista : public QObject {
    Q_OBJECT
  public:
    // Installs itself on `list`, which owns it.
    static BusquedaLista* instala(QTreeWidget* list);
    const QString& texto() const { return texto_; }
    // Narrows the list to `text` (empty: every row).
    void filtra(const QString& text);

  protected:
    bool eventFilter(QObject* object, QEvent* event) override;

  private:
    explicit BusquedaLista(QTreeWidget* list);
    QTreeWidget* list_;
    QLabel* label_;
    QString texto_;
};

}  // namespace tz::base::gui

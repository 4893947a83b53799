#pragma once
#include <QDialog>
#include <filesystem>
#include <vector>

#include "app/RegistroEjecuciones.h"

class QLabel;
class QPlainTextEdit;
class QTreeWidget;

namespace tz::app::gui {

// "Últimas ejecuciones": the runs of the log, newest first, and everything the selected one
// noted (files read, tables written, messages, outcome). Esc, the close box and "&Cerrar" close
// it.
class VentanaRegistro : public QDialog {
    Q_OBJECT
  public:
    explicit VentanaRegistro(QWidget* parent,
                             const std::filesystem::path& log = registro::fichero());
    QTreeWidget* lista() const { return lista_; }
    QPlainTextEdit* detalle() const { return detalle_; }
    // Reads the log again.
    void lee();

  private:
    void muestra(int run);
    std::filesystem::path log_;
    std::vector<registro::Ejecucion> runs_;
    QTreeWidget* lista_;
    QPlainTextEdit* detalle_;
    QLabel* nota_;
};

// Shows the window modally.
void abreRegistro(QWidget* parent);

}  // namespace tz::app::gui

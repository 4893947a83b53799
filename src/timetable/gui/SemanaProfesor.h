#pragma once
#include <QAbstractTableModel>
#include <QDialog>
#include <QTableView>
#include <memory>
#include <vector>

#include "tables/Dataset.h"
#include "timetable/Revision.h"
#include "timetable/Semana.h"

class QLabel;
class QPushButton;

namespace tz::timetable {
class AjustaXEL;
}

namespace tz::timetable::gui {

class TAjustaXEL;

// The week of a teacher as a table model: sessions down, days across; each cell holds the
// periods that start in it (and those that go on into it). Cells are drawn by the view's
// delegate from semana::lineasCelda.
class ModeloSemana : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Rol { PeriodosRole = Qt::UserRole + 1 };  // QList<int>: the periods of the cell

    using QAbstractTableModel::QAbstractTableModel;
    void muestra(semana::Semana s);
    const semana::Semana& semana() const { return semana_; }
    // For reading periods again in place; then tell the cells that changed.
    semana::Semana& semana() { return semana_; }
    void celdasCambiadas(const std::vector<std::pair<int, int>>& celdas);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    semana::Semana semana_;
};

// The grid itself: Enter or a double-click on a cell asks to go to its period (a menu chooses
// when the cell holds several).
class RejillaSemana : public QTableView {
    Q_OBJECT
  public:
    explicit RejillaSemana(QWidget* parent);
    ModeloSemana* modelo() const { return modelo_; }
    // Fits the rows to what they hold and joins the cells of lessons of several hours.
    void ajusta();
    // The periods of a cell; with several, `elige` picks one (a menu by default).
    void activa(const QModelIndex& index);
    std::function<int(const QModelIndex& cell, const std::vector<int>& periodos)> elige;

  signals:
    void irA(int periodo);

  protected:
    void keyPressEvent(QKeyEvent* e) override;

  private:
    int menu(const QModelIndex& cell, const std::vector<int>& periodos);
    ModeloSemana* modelo_;
};

// The window "Semana del profesor" of the adjustment window: the current teacher's week drawn
// from the export tables as they stand, edits included, following the teachers grid as the user
// moves. Going to a period selects its row and cell in the type 2 grid.
class VentanaSemana : public QDialog {
    Q_OBJECT
  public:
    VentanaSemana(TAjustaXEL* ajuste, AjustaXEL& logic);
    ~VentanaSemana() override;

    RejillaSemana* rejilla() const { return rejilla_; }
    QLabel* cabecera() const { return cabecera_; }
    // Reads the week again now (the window does so, once, after each change it is told of).
    void actualiza();
    // The cell where the type 2 grid's current row sits becomes the current cell.
    void sigueTipo2();
    // Goes to period `i` of the week shown: its row and cell in the type 2 grid.
    void irAPeriodo(int i);
    // Stops following the tables (they are about to close).
    void suelta();

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    class Seguidor;
    // Something changed: everything (`todo`), or only these type 2 rows (positions in the
    // type 2 view) or the groups of these slot keys, or only the teacher.
    void programa(bool todo);
    void cambiaFila2(int posicion);
    void cambiaClave(std::string clave);
    void cambiaProfesor();
    void aplica();
    // Reads the changed periods in place; false when the whole week must be read again.
    bool releeCambios();
    void muestraCabecera();
    semana::Fuentes fuentes();

    TAjustaXEL* ajuste_;
    AjustaXEL& logic_;
    tables::Dataset h3_;
    std::vector<semana::Franja> plantilla_;
    revision::Catalogos catalogos_;
    std::vector<std::unique_ptr<Seguidor>> seguidores_;
    RejillaSemana* rejilla_ = nullptr;
    QLabel* cabecera_ = nullptr;
    QLabel* avisos_ = nullptr;
    bool programada_ = false, pendiente_ = true, suelto_ = false;
    bool todo_ = false, cabeceraPendiente_ = false;
    std::vector<int> filas2_;
    std::vector<std::string> claves_;
};

// Adds "&Horario semanal" (the week window) and "Infor&me…" (the report as a PDF) to the
// adjustment window.
void montaSemanaEInforme(TAjustaXEL* ajuste, AjustaXEL& logic);
// The week window of an adjustment window, once opened; else null.
VentanaSemana* ventanaSemana(const TAjustaXEL* ajuste);
// Opens the week window (creating it the first time) and gives it the focus.
VentanaSemana* abreSemana(TAjustaXEL* ajuste, AjustaXEL& logic);
// Stores what is being edited and writes the report of the tables into `file`; returns "" or
// the error, informe::kCancelado when nothing was written and nothing more is to be said.
std::string escribeInforme(TAjustaXEL* ajuste, AjustaXEL& logic, const QString& file);

}  // namespace tz::timetable::gui

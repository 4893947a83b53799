#pragma once
#include <QDialog>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tz::timetable {
class AjustaXEL;
namespace revision {
struct Hallazgo;
class RevisionAjuste;
}  // namespace revision
}  // namespace tz::timetable

namespace tz::timetable::gui {

class DataGrid;
class ListaHallazgos;

// The code adjustment window over its logic: the centre boxes, the three linked grids with
// their drop-down lists, and "&Salir". Every handler runs guarded: an engine error shows the
// standard error box and the window stays open.
class TAjustaXEL : public QDialog {
    Q_OBJECT
  public:
    TAjustaXEL(QWidget* owner, AjustaXEL& logic);
    ~TAjustaXEL() override;

    DataGrid* wwDBGridPROFT() const { return profesores_; }
    DataGrid* DBGridCUADROH2() const { return tipo2_; }
    DataGrid* wwDBGridCUADROH3() const { return tipo3_; }
    QLineEdit* DBEditCODECENTRO() const { return centre_[0]; }
    QLineEdit* DBEditANOACAD() const { return centre_[1]; }
    QLineEdit* DBEditVERSION() const { return centre_[2]; }
    QPushButton* BitBtn1() const { return salir_; }

    // The completeness check: its summary line, its findings, the type 2 grid's toggle.
    QLabel* resumenRevision() const { return resumen_; }
    ListaHallazgos* listaHallazgos() const { return lista_; }
    QCheckBox* soloIncompletos() const { return soloIncompletos_; }
    // Checks the tables now (the window also does so after every stored change).
    void revisa();
    // Selects the finding's teacher, its type 2 row and the cell (type 3: that grid's cell).
    void irAHallazgo(const revision::Hallazgo& h);

  protected:
    void paintEvent(QPaintEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

  private:
    void BitBtn1Click();
    void guardaEditores();
    void refrescaDetalles();
    void montaRevision(int top);
    void programaRevision();
    void revisaCambios();
    void muestraRevision();
    void aplicaFiltro();
    void cierraRevision();

    AjustaXEL& logic_;
    DataGrid* profesores_ = nullptr;
    DataGrid* tipo2_ = nullptr;
    DataGrid* tipo3_ = nullptr;
    QLineEdit* centre_[3] = {};
    QPushButton* salir_ = nullptr;
    // The completeness check and its controls.
    std::unique_ptr<revision::RevisionAjuste> rev_;
    bool revisionProgramada_ = false;
    QLabel* resumen_ = nullptr;
    QCheckBox* soloIncompletos_ = nullptr;
    ListaHallazgos* lista_ = nullptr;
};

}  // namespace tz::timetable::gui

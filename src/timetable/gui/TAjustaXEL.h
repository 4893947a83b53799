#pragma once
#include <QDialog>

class QLineEdit;
class QPushButton;

namespace tz::timetable {
class AjustaXEL;
}

namespace tz::timetable::gui {

class DataGrid;

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

  protected:
    void paintEvent(QPaintEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

  private:
    void BitBtn1Click();
    void commitEditors();
    void refreshDetails();

    AjustaXEL& logic_;
    DataGrid* profesores_ = nullptr;
    DataGrid* tipo2_ = nullptr;
    DataGrid* tipo3_ = nullptr;
    QLineEdit* centre_[3] = {};
    QPushButton* salir_ = nullptr;
};

}  // namespace tz::timetable::gui

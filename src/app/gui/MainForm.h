#pragma once
#include <QHash>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <filesystem>
#include <memory>

#include "app/CommandLine.h"
#include "app/Jobs.h"
#include "base/UserPort.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTimer;
class QWindow;

namespace tz::app::gui {
class FolderList;
class GradientPanel;
}  // namespace tz::app::gui

// The main window: the two jobs, the text folder and language choices, the centre and levels
// panels. The behaviour lives in app::Jobs; this class binds widgets to it and implements the
// user-interaction port with real dialogs.
class TMForm : public QWidget, public tz::base::UserPort {
    Q_OBJECT
  public:
    // `args` are the command-line arguments after the program name (FormCreate reads them).
    explicit TMForm(const QStringList& args = {}, QWidget* parent = nullptr);
    ~TMForm() override;

    // Embeds the window into the host when hosted (or shows it top-level when the host cannot
    // be reached) and shows it.
    void showStartup();

    tz::app::Jobs& jobs() { return *jobs_; }
    const tz::app::StartupPlan& plan() const { return plan_; }
    bool embedded() const { return host_ != nullptr; }

    // The folder the folder list shows; the job buttons take it as the text folder.
    QString currentFolder() const;
    // Opens a folder as a double-click would: list, path label, drive box and working folder.
    bool openFolder(const QString& folder);

    // "Zandrix.ini" beside the executable unless set otherwise.
    void setRunStatusFile(const std::filesystem::path& file) { runStatusFile_ = file; }
    const std::filesystem::path& runStatusFile() const { return runStatusFile_; }
    // A hosted window ends the process when it closes (Qt would not quit by itself while the
    // window is parented to a foreign one). Tests turn this off.
    bool exitWhenHostedCloses = true;

    // tz::base::UserPort
    void message(const std::string& text) override;
    bool confirm(const std::string& text) override;
    void errorBox(const std::string& text) override;
    void setBusy(bool busy) override;
    void showCentrePanel(bool visible) override;
    void showLevelsPanel(bool visible) override;
    void showVolverNiveles(bool visible) override;
    void focusLevelsGrid() override;
    void runBellScheduleCheck() override;
    void runAdjustment(tz::base::Adjustment& ajuste) override;
    void closeMainWindow() override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BExportarClick();
    void BImportarClick();
    void Button1Click();
    void BCloseClick();
    void Button3Click();
    void UnidadesChange(int index);
    void buildWidgets();
    void applyPlan();
    void fillDrives();
    void followFolder();
    void checkHost();
    void showPanel(QWidget* panel, bool visible);
    void takeFocusBack();
    void keysBackTick();

    std::unique_ptr<tz::app::Jobs> jobs_;
    tz::app::StartupPlan plan_;
    std::filesystem::path runStatusFile_;
    QWindow* host_ = nullptr;
    QTimer* hostWatch_ = nullptr;
    bool busy_ = false;
    bool closed_ = false;
    bool keysTaken_ = false;      // the embedded window has had the keyboard once
    QTimer* keysBack_ = nullptr;  // waits for the window manager to move the keys
    int keysBackTries_ = 0;
    QHash<QString, QString> lastFolderOnDrive_;

    tz::app::gui::GradientPanel* panelExportar_ = nullptr;
    tz::app::gui::GradientPanel* panelImportar_ = nullptr;
    tz::app::gui::GradientPanel* panelInferior_ = nullptr;
    QComboBox* comboBoxEuskCast_ = nullptr;
    QPushButton* bExportar_ = nullptr;
    QPushButton* bImportar_ = nullptr;
    QLabel* rutaActual_ = nullptr;
    tz::app::gui::FolderList* directorios_ = nullptr;
    QComboBox* unidades_ = nullptr;
    QPushButton* button1_ = nullptr;
    QPushButton* bClose_ = nullptr;
    QPushButton* bRegistro_ = nullptr;  // the log of runs
    QPushButton* button3_ = nullptr;
    QWidget* centrePanel_ = nullptr;
    QWidget* levelsPanel_ = nullptr;
    QPushButton* lastJobButton_ = nullptr;  // the job button last pressed
};

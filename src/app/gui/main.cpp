// transzanderxel: the main window, standalone or hosted in the timetabler's window.
#include <QApplication>
#include <QStringList>
#include <cstdlib>

#include "app/gui/HostWindow.h"
#include "app/gui/MainForm.h"
#include "base/Texts.h"
#include "help/gui/HelpGui.h"

int main(int argc, char** argv) {
    tz::app::gui::chooseWindowingPlatform(argc);  // a hosted run: one that can embed

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(tz::base::texts::kTitulo));
    tz::help::gui::installHelp(app);  // help file "XEL.CHM" beside the executable

    QStringList args = QApplication::arguments();
    args.removeFirst();
    TMForm form(args);
    form.showStartup();
    return app.exec();
}

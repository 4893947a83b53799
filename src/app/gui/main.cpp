// transzanderxel: the main window, standalone or hosted in the timetabler's window.
#include <QApplication>
#include <QStringList>
#include <cstdlib>

#include "app/gui/MainForm.h"
#include "base/Texts.h"
#include "help/gui/HelpGui.h"

int main(int argc, char** argv) {
    // A hosted run embeds into an X11 window, which only the xcb platform can do; keep an
    // explicit choice (QT_QPA_PLATFORM or -platform, which changes the argument count).
    if (argc == 3 && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(tz::base::texts::kTitulo));
    tz::help::gui::installHelp(app);  // help file "XEL.CHM" beside the executable

    QStringList args = QApplication::arguments();
    args.removeFirst();
    TMForm form(args);
    form.showStartup();
    return app.exec();
}

#include "help/gui/HelpGui.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>
#include <utility>

#include "help/HelpSystem.h"
#include "help/VexHtmlHelp.h"
#include "help/gui/ChmHelpBackend.h"
#include "help/gui/HelpWindow.h"

namespace tz::help::gui {
namespace {

constexpr const char* kContextProperty = "helpContext";

// F1 anywhere in the application asks for the context of the widget that has the focus.
class F1Filter final : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || (key->modifiers() & ~Qt::KeypadModifier) != 0) return false;
        QWidget* target = QApplication::focusWidget();
        if (!target) target = static_cast<QWidget*>(watched);
        const int context = helpContextOf(target);
        if (context != 0) contextHelp(context);
        return true;
    }
};

struct HelpState {
    HelpSystem system;
    std::shared_ptr<ChmHelpBackend> backend = std::make_shared<ChmHelpBackend>(executableFolder());
    QPointer<F1Filter> filter;
};

std::unique_ptr<HelpState>& state() {
    static std::unique_ptr<HelpState> s;
    return s;
}

// Runs first in the application's destructor, while widgets can still be deleted.
void releaseHelp() {
    if (auto& s = state()) {
        s->system.shutDown();
        if (s->filter) delete s->filter.data();
        s.reset();
    }
}

WindowHandle windowOf(QWidget* from) {
    return from ? static_cast<WindowHandle>(from->window()->effectiveWinId()) : 0;
}

}  // namespace

void installHelp(QApplication& app) {
    static bool postRoutineAdded = false;
    releaseHelp();
    auto s = std::make_unique<HelpState>();
    installVexHtmlHelp(s->system, s->backend, executableFolder());
    s->system.setApplicationHelpFile("XEL.CHM");
    s->filter = new F1Filter(&app);
    app.installEventFilter(s->filter);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, s->filter, [] {
        if (auto& st = state()) st->system.shutDown();
    });
    state() = std::move(s);
    if (!postRoutineAdded) {
        qAddPostRoutine(releaseHelp);
        postRoutineAdded = true;
    }
}

void setHelpContext(QWidget* widget, int context) {
    if (widget) widget->setProperty(kContextProperty, context);
}

int helpContextOf(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        const QVariant v = w->property(kContextProperty);
        if (v.isValid()) return v.toInt();
    }
    return 0;
}

void helpButtonClicked(QWidget* from) {
    auto& s = state();
    if (!s) return;
    s->system.setApplicationHelpFile("\\ZDXM7\\XEL.CHM");
    s->system.setHelpWindow(windowOf(from));
    s->system.showTableOfContents();
}

void contextHelp(int context) {
    auto& s = state();
    if (!s) return;
    s->system.setHelpWindow(windowOf(QApplication::activeWindow()));
    s->system.contextHelp(context);
}

void setHelpFile(const QString& name) {
    if (auto& s = state()) s->system.setApplicationHelpFile(name.toStdString());
}

QString helpFile() {
    auto& s = state();
    return s ? QString::fromStdString(s->system.applicationHelpFile()) : QString();
}

void setHelpMessages(std::function<void(const std::string&)> show) {
    if (auto& s = state()) s->backend->tell = std::move(show);
}

HelpWindow* helpWindow() {
    auto& s = state();
    return s ? s->backend->window() : nullptr;
}

}  // namespace tz::help::gui

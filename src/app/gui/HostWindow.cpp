#include "app/gui/HostWindow.h"

#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <cstdlib>

namespace tz::app::gui {

bool hostWindowExists(quint32 id) {
    if (id == 0 || QGuiApplication::platformName() != QLatin1String("xcb")) return false;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return false;
    xcb_connection_t* c = x11->connection();
    // A checked request: a BadWindow comes back here instead of reaching Qt's event handler.
    const auto cookie = xcb_get_window_attributes(c, id);
    xcb_generic_error_t* error = nullptr;
    auto* reply = xcb_get_window_attributes_reply(c, cookie, &error);
    const bool exists = reply != nullptr;
    std::free(reply);
    std::free(error);
    return exists;
}

QWindow* embedInHost(QWidget* widget, quint32 id) {
    if (!hostWindowExists(id)) return nullptr;
    QWindow* host = QWindow::fromWinId(id);
    if (!host) return nullptr;
    widget->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    widget->winId();  // creates the native window, so windowHandle() exists
    if (!widget->windowHandle()) {
        delete host;
        return nullptr;
    }
    widget->windowHandle()->setParent(host);
    widget->move(0, 0);
    return host;
}

}  // namespace tz::app::gui

namespace tz::app::gui {

void chooseWindowingPlatform(int argc) {
    // A hosted run embeds into an X11 window, which only the xcb platform can do; keep an
    // explicit choice (QT_QPA_PLATFORM or -platform, which changes the argument count).
    if (argc == 3 && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

}  // namespace tz::app::gui

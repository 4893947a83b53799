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

bool takeKeyboard(QWidget* widget) {
    if (!widget || QGuiApplication::platformName() != QLatin1String("xcb")) return false;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection() || !widget->windowHandle()) return false;
    xcb_connection_t* c = x11->connection();
    const auto id = static_cast<xcb_window_t>(widget->windowHandle()->winId());
    // Only a viewable window may take the focus (the X server refuses it otherwise).
    auto* attributes =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr);
    const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(attributes);
    if (!viewable) return false;
    xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, id, XCB_CURRENT_TIME);
    xcb_flush(c);
    return true;
}

quint32 keyboardFocus() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return 0;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return 0;
    xcb_connection_t* c = x11->connection();
    auto* reply = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
    const quint32 focus = reply ? reply->focus : 0;
    std::free(reply);
    return focus;
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

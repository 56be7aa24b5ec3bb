#include "platform/X11Window.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QWindow>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>
#include <xcb/xcb.h>

namespace {

struct TFree {
    void operator()(void* p) const { std::free(p); }
};

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    const std::unique_ptr<xcb_intern_atom_reply_t, TFree> reply(
        xcb_intern_atom_reply(c, cookie, nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

xcb_connection_t* Connection() {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

class TCloseWatch : public QObject, public QAbstractNativeEventFilter {
public:
    TCloseWatch(QWindow& window, xcb_connection_t* c, std::function<bool()> closing)
        : QObject(&window), Window(window), Protocols(Atom(c, "WM_PROTOCOLS")),
          Delete(Atom(c, "WM_DELETE_WINDOW")), Closing(std::move(closing)) {
        qGuiApp->installNativeEventFilter(this);
    }
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* e = static_cast<const xcb_generic_event_t*>(message);
        if ((e->response_type & 0x7F) != XCB_CLIENT_MESSAGE) return false;
        const auto* m = static_cast<const xcb_client_message_event_t*>(message);
        if (m->window != static_cast<xcb_window_t>(Window.winId()) || m->format != 32 ||
            m->type != Protocols || m->data.data32[0] != Delete)
            return false;
        return Closing();
    }

private:
    QWindow& Window;
    xcb_atom_t Protocols;
    xcb_atom_t Delete;
    std::function<bool()> Closing;
};

} // namespace

void WatchCloseRequest(QWindow& window, std::function<bool()> closing) {
    xcb_connection_t* c = Connection();
    if (c) new TCloseWatch(window, c, std::move(closing)); // owned by the window
}

void SkipTaskbar(QWindow& window) {
    xcb_connection_t* c = Connection();
    if (!c) return;
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_atom_t state = Atom(c, "_NET_WM_STATE");
    if (state == XCB_ATOM_NONE) return;
    // Keep what is there: the states are a set.
    std::vector<xcb_atom_t> atoms;
    const std::unique_ptr<xcb_get_property_reply_t, TFree> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, id, state, XCB_ATOM_ATOM, 0, 1024), nullptr));
    if (reply && reply->type == XCB_ATOM_ATOM && reply->format == 32) {
        const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
        atoms.assign(data, data + xcb_get_property_value_length(reply.get()) / 4);
    }
    for (const char* name : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}) {
        const xcb_atom_t a = Atom(c, name);
        if (a != XCB_ATOM_NONE && std::find(atoms.begin(), atoms.end(), a) == atoms.end())
            atoms.push_back(a);
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                        static_cast<std::uint32_t>(atoms.size()), atoms.data());
    xcb_flush(c);
}

#include "platform/qt/widgets/TaskbarPresence.h"

#include <QGuiApplication>
#include <QVariant>
#include <QWidget>

#ifdef KEYLOOM_HAVE_XCB
#include <xcb/xcb.h>

#include <QList>
#endif

namespace {

const char* const kSkipsTaskbarProperty = "keyloomSkipsTaskbar";

#ifdef KEYLOOM_HAVE_XCB

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, uint16_t(qstrlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

xcb_window_t rootOf(xcb_connection_t* connection, xcb_window_t window) {
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
    const xcb_window_t root = tree ? tree->root : xcb_window_t(XCB_WINDOW_NONE);
    free(tree);
    return root;
}

void applyOnX11(QWidget* window, bool skip) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) {
        return;
    }
    const auto id = xcb_window_t(window->winId());
    const xcb_atom_t state = internAtom(connection, "_NET_WM_STATE");
    const xcb_atom_t skipTaskbar = internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
    const xcb_atom_t skipPager = internAtom(connection, "_NET_WM_STATE_SKIP_PAGER");
    if (state == XCB_ATOM_NONE || skipTaskbar == XCB_ATOM_NONE || skipPager == XCB_ATOM_NONE) {
        return;
    }

    if (window->isVisible()) {
        // Mapped: the window manager owns the state and changes it on request.
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = id;
        message.type = state;
        message.data.data32[0] = skip ? 1 : 0;  // _NET_WM_STATE_ADD / _REMOVE
        message.data.data32[1] = skipTaskbar;
        message.data.data32[2] = skipPager;
        message.data.data32[3] = 1;  // from an application
        xcb_send_event(connection, 0, rootOf(connection, id),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&message));
    } else {
        // Not yet mapped: the property is ours to write, and Qt keeps atoms it did not set.
        QList<xcb_atom_t> atoms;
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, id, state, XCB_ATOM_ATOM, 0, 1024), nullptr);
        if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
            const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
            atoms = QList<xcb_atom_t>(data, data + xcb_get_property_value_length(reply) / int(sizeof(xcb_atom_t)));
        }
        free(reply);
        atoms.removeAll(skipTaskbar);
        atoms.removeAll(skipPager);
        if (skip) {
            atoms << skipTaskbar << skipPager;
        }
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32, uint32_t(atoms.size()),
                            atoms.constData());
    }
    xcb_flush(connection);
}

#endif

}  // namespace

void TaskbarPresence::setListed(QWidget* window, bool listed) {
    if (!window || !window->isWindow()) {
        return;
    }
    window->setProperty(kSkipsTaskbarProperty, !listed);
#ifdef KEYLOOM_HAVE_XCB
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        applyOnX11(window, !listed);
    }
#endif
}

bool TaskbarPresence::isListed(const QWidget* window) {
    return !(window && window->property(kSkipsTaskbarProperty).toBool());
}

#include "platform/TaskbarEntry.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr char SkipProperty[] = "vantrelSkipsTaskbar";

xcb_connection_t *X11Connection()
{
    if (QGuiApplication::platformName() != u"xcb")
        return nullptr;
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t *connection, const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// Before the window is mapped its state is a property, which the toolkit
// merges with its own when it maps the window.
void SetStateProperty(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t state, xcb_atom_t skip,
                      bool on)
{
    QList<xcb_atom_t> atoms;
    if (xcb_get_property_reply_t *reply = xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, state, XCB_ATOM_ATOM, 0, 1024), nullptr)) {
        const auto *data = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
        if (reply->format == 32 && reply->type == XCB_ATOM_ATOM)
            atoms = QList<xcb_atom_t>(data, data + reply->value_len);
        std::free(reply);
    }
    atoms.removeAll(skip);
    if (on)
        atoms.append(skip);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, state, XCB_ATOM_ATOM, 32,
                        static_cast<uint32_t>(atoms.size()), atoms.constData());
}

// A mapped window's state belongs to the window manager, which is asked.
void AskWindowManager(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t state, xcb_atom_t skip,
                      bool on)
{
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = state;
    message.data.data32[0] = on ? 1 : 0; // add or remove
    message.data.data32[1] = skip;
    message.data.data32[3] = 1; // from an application
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&message));
}

void Apply(QWidget *window, bool mapped)
{
    xcb_connection_t *connection = X11Connection();
    if (!connection || !window->testAttribute(Qt::WA_WState_Created))
        return;
    const auto id = static_cast<xcb_window_t>(window->winId());
    const xcb_atom_t state = Atom(connection, "_NET_WM_STATE");
    const xcb_atom_t skip = Atom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
    if (state == XCB_ATOM_NONE || skip == XCB_ATOM_NONE)
        return;
    if (mapped)
        AskWindowManager(connection, id, state, skip, SkipsTaskbar(window));
    else
        SetStateProperty(connection, id, state, skip, SkipsTaskbar(window));
    xcb_flush(connection);
}

// The window's show event comes before the toolkit maps it.
class ReapplyOnShow : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            Apply(static_cast<QWidget *>(watched), false);
        return false;
    }
};

} // namespace

void SetSkipsTaskbar(QWidget *window, bool skip)
{
    if (!window->property(SkipProperty).isValid())
        window->installEventFilter(new ReapplyOnShow(window));
    const bool changed = SkipsTaskbar(window) != skip;
    window->setProperty(SkipProperty, skip);
    if (changed && window->isVisible())
        Apply(window, true);
}

bool SkipsTaskbar(const QWidget *window)
{
    return window->property(SkipProperty).toBool();
}

#include "startup.h"

#include <QGuiApplication>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#include <unistd.h>
#endif
#ifdef ORV_HAVE_WAYLAND_CLIENT
#include <QDeadlineTimer>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <wayland-client.h>
#endif

namespace {

#if defined(ORV_HAVE_WAYLAND_CLIENT) && QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
enum class WaylandChoice
{
    None,
    ByUser,
    BySession
};

// Whether Qt will try Wayland first, by its own rule: the -platform argument, then
// QT_QPA_PLATFORM (a list tried in order), then the session. Qt 5 takes Wayland only where
// XDG_SESSION_TYPE says so; Qt 6 also wherever WAYLAND_DISPLAY is set.
WaylandChoice qtWaylandChoice(int argc, char **argv)
{
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i) {
        const QByteArray arg = argv[i];
        if (arg == "-platform" || arg == "--platform")
            platform = argv[i + 1];
    }
    if (!platform.isEmpty())
        return platform.split(';').constFirst().startsWith("wayland") ? WaylandChoice::ByUser
                                                                      : WaylandChoice::None;
    if (qgetenv("XDG_SESSION_TYPE") == "wayland" ||
        (QT_VERSION_MAJOR >= 6 && qEnvironmentVariableIsSet("WAYLAND_DISPLAY")))
        return WaylandChoice::BySession;
    return WaylandChoice::None;
}

// Whether the Wayland compositor offers to draw window frames (xdg-decoration: KDE Plasma,
// sway and other wlroots compositors; not GNOME, not weston). A compositor that does not
// answer within timeoutMs is taken to offer nothing: the window must not wait on it.
bool compositorDrawsFrames(int timeoutMs)
{
    const QByteArray name = qgetenv("WAYLAND_DISPLAY");
    if (name.isEmpty())
        return false;
    const QByteArray path = name.startsWith('/') ? name : qgetenv("XDG_RUNTIME_DIR") + '/' + name;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (!path.startsWith('/') || size_t(path.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    // Non-blocking: a compositor whose queue of connections is full would hold connect().
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        return false;
    }
    wl_display *display = wl_display_connect_to_fd(fd); // closes fd, even on failure
    if (!display)
        return false;
    bool offered = false, answered = false;
    static const wl_registry_listener registryListener = {
        [](void *data, wl_registry *, uint32_t, const char *interface, uint32_t) {
            if (std::strcmp(interface, "zxdg_decoration_manager_v1") == 0)
                *static_cast<bool *>(data) = true;
        },
        [](void *, wl_registry *, uint32_t) {},
    };
    static const wl_callback_listener doneListener = {
        [](void *data, wl_callback *, uint32_t) { *static_cast<bool *>(data) = true; },
    };
    wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &offered);
    // The compositor answers the sync after it has announced every global.
    wl_callback *sync = wl_display_sync(display);
    wl_callback_add_listener(sync, &doneListener, &answered);
    // wl_display_roundtrip() without its unbounded wait.
    const QDeadlineTimer deadline(timeoutMs);
    while (!answered) {
        if (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0)
                break;
            continue;
        }
        wl_display_flush(display);
        pollfd ready{wl_display_get_fd(display), POLLIN, 0};
        const int polled = poll(&ready, 1, int(deadline.remainingTime()));
        if (polled <= 0) {
            wl_display_cancel_read(display);
            if (polled < 0 && errno == EINTR)
                continue;
            break;
        }
        if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0)
            break;
    }
    wl_callback_destroy(sync);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return answered && offered;
}
#endif

} // namespace

void prepareApplication(int argc, char **argv)
{
    // The window is laid out in pixels; on a high-density screen it would shrink to a stamp.
    // Whole scale factors only: at 1.25 or 1.5 the 1-pixel lines of the form blur and the
    // fixed rectangles round unevenly. Qt 6 always scales but passes fractions through.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::Round);
    // Nothing here draws with OpenGL: without this, Qt 5 makes every window able to host GL
    // children, which on Wayland loads EGL and a GL driver at start-up.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    // Nothing here draws with OpenGL, and loading Qt 5's GLX integration roughly doubles the
    // start-up time and resident memory of a window this small (Qt 6 loads it only on
    // demand). A user's choice still wins.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
#endif
#if defined(ORV_HAVE_WAYLAND_CLIENT) && QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
    // Qt 5.15 and 6.4 draw their own frame only through a GL-capable buffer integration: EGL and
    // a software GL driver, some 50 MB, for a window that never draws with GL. Where the
    // compositor draws frames anyway, do without Qt's. Where it does not (GNOME, weston), a
    // session with XWayland gets the window there, framed by the compositor, as upstream Qt 5
    // does on GNOME; the user's own choice of Wayland stands. Qt 6.8 on draws its frame
    // without GL.
    // A socket handed over in WAYLAND_SOCKET can be connected once only: it is Qt's.
    const WaylandChoice wayland = qtWaylandChoice(argc, argv);
    if (wayland != WaylandChoice::None && !qEnvironmentVariableIsSet("WAYLAND_SOCKET")) {
        if (compositorDrawsFrames(250)) {
            if (!qEnvironmentVariableIsSet("QT_WAYLAND_DISABLE_WINDOWDECORATION"))
                qputenv("QT_WAYLAND_DISABLE_WINDOWDECORATION", "1");
        } else if (wayland == WaylandChoice::BySession && !qEnvironmentVariableIsEmpty("DISPLAY")) {
            qputenv("QT_QPA_PLATFORM", "xcb");
        }
    }
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
#endif
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    // Unnamed session bus: try the per-user socket only; forking dbus-launch delays the window.
    if (!qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS")) {
        QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
        if (runtimeDir.isEmpty())
            runtimeDir = "/run/user/" + QByteArray::number(uint(getuid()));
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + runtimeDir + "/bus");
    }
#endif
}

#include "windowframe.h"

#include <QApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QMainWindow>
#include <QPalette>
#include <QStyleOptionSpinBox>
#include <QtMath>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#include <unistd.h>
#endif
#ifdef ORV_HAVE_WAYLAND_CLIENT
#include <cstring>
#include <wayland-client.h>
#endif

namespace {

#ifdef ORV_HAVE_WAYLAND_CLIENT
// Whether the Wayland compositor the program will run on offers to draw window frames
// (xdg-decoration: KDE Plasma, sway and other wlroots compositors; not GNOME, not weston).
bool compositorDrawsFrames()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("wayland"))
        return false;
    // A socket handed over in WAYLAND_SOCKET can be connected once only: it is Qt's.
    if (!qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
        qEnvironmentVariableIsSet("WAYLAND_SOCKET"))
        return false;
    wl_display *display = wl_display_connect(nullptr);
    if (!display)
        return false;
    bool offered = false;
    static const wl_registry_listener listener = {
        [](void *data, wl_registry *, uint32_t, const char *interface, uint32_t) {
            if (std::strcmp(interface, "zxdg_decoration_manager_v1") == 0)
                *static_cast<bool *>(data) = true;
        },
        [](void *, wl_registry *, uint32_t) {},
    };
    wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &offered);
    if (wl_display_roundtrip(display) < 0)
        offered = false;
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return offered;
}
#endif

} // namespace

void prepareApplication()
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
#ifdef ORV_HAVE_WAYLAND_CLIENT
    // Qt 5.15 and 6.4 draw their own frame only through a GL-capable buffer integration: EGL and
    // a software GL driver, some 50 MB, for a window that never draws with GL. Where the
    // compositor draws frames anyway, do without Qt's. Elsewhere (GNOME) Qt's frame stays.
    if (!qEnvironmentVariableIsSet("QT_WAYLAND_DISABLE_WINDOWDECORATION") &&
        compositorDrawsFrames())
        qputenv("QT_WAYLAND_DISABLE_WINDOWDECORATION", "1");
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

QFont formFont(QFont platformFont)
{
    // The rectangles were drawn around an 8-point UI font at 96 dpi, 11 pixels high and
    // narrower than the usual Linux sans: at the platform's default size labels and values
    // (an inhibit delay of 600000 ms) would be cut off.
    platformFont.setPixelSize(11);
    platformFont.setStretch(80);
    // Full hinting rounds the x-height up at some scales, and the tabs, sized in ex, then
    // overflow the tab bar on a high-density screen; vertical-only hinting keeps it steady.
    platformFont.setHintingPreference(QFont::PreferVerticalHinting);
    return platformFont;
}

int formLineHeight(const QFont &font)
{
    const QFontMetricsF metrics(font);
    return qCeil(metrics.ascent()) + qCeil(metrics.descent());
}

void applyFormFont()
{
    QApplication::setFont(formFont(QApplication::font()));
}

void applyWindowFrame(QMainWindow &window)
{
    window.setWindowTitle(QStringLiteral("ORVcontrol v2.4"));
    // The Wayland app id: compositors match the window with its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("invalid.orv.orvcontrol"));
    QPalette palette = window.palette();
    palette.setBrush(QPalette::All, QPalette::Window,
                     QBrush(QColor(210, 220, 230), Qt::SolidPattern));
    window.setPalette(palette);
}

QSize FormSpinBox::sizeHint() const
{
    ensurePolished();
    // The text as QAbstractSpinBox measures it, with room for the cursor.
    const QFontMetrics metrics = fontMetrics();
    int width = metrics.horizontalAdvance(specialValueText());
    for (int value : {minimum(), maximum()})
        width = qMax(width, metrics.horizontalAdvance(textFromValue(value).left(18) + prefix() +
                                                      suffix() + QLatin1Char(' ')));
    // The frame as the style sheet draws it: where the text field starts.
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    const QPoint frame =
        style()
            ->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxEditField, this)
            .topLeft() -
        option.rect.topLeft();
    const int buttons = buttonSymbols() == NoButtons ? 0 : 16;
    return QSize(width + 2 + buttons + 2 * frame.x(),
                 lineEdit()->sizeHint().height() + 2 * frame.y());
}

QSize FormSpinBox::minimumSizeHint() const
{
    // Qt's own minimum, less what its hint adds over the one above.
    return QSpinBox::minimumSizeHint() - (QSpinBox::sizeHint() - sizeHint());
}

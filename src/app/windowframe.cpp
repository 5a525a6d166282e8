#include "windowframe.h"

#include <QApplication>
#include <QFont>
#include <QMainWindow>
#include <QPalette>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#include <unistd.h>
#endif

void prepareApplication()
{
    // The window is laid out in pixels; on a high-density screen it would shrink to a stamp.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    // Nothing here draws with OpenGL, and loading Qt's GLX integration roughly doubles the
    // start-up time and resident memory of a window this small. A user's choice still wins.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
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

void applyFormFont()
{
    QApplication::setFont(formFont(QApplication::font()));
}

void applyWindowFrame(QMainWindow &window)
{
    window.setWindowTitle(QStringLiteral("ORVcontrol v2.4"));
    QPalette palette = window.palette();
    palette.setBrush(QPalette::All, QPalette::Window,
                     QBrush(QColor(210, 220, 230), Qt::SolidPattern));
    window.setPalette(palette);
}

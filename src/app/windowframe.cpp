#include "windowframe.h"

#include <QApplication>
#include <QFont>
#include <QMainWindow>
#include <QPalette>

QFont formFont(QFont platformFont)
{
    // The rectangles were drawn around an 8-point UI font at 96 dpi, 11 pixels high and
    // narrower than the usual Linux sans: at the platform's default size labels and values
    // (an inhibit delay of 600000 ms) would be cut off.
    platformFont.setPixelSize(11);
    platformFont.setStretch(80);
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

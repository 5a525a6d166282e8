// Paints every picture ORVcontrol embeds, so that they can be reviewed and
// regenerated from source instead of being opaque binaries.
//
// Usage: drawimages RESOURCES_DIR
// The hicolor application icons go to RESOURCES_DIR/../packaging/icons.

#include <QByteArray>
#include <QColor>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPair>
#include <QPolygonF>
#include <QRadialGradient>
#include <QTransform>
#include <QVector>
#include <QtMath>

#include <cmath>
#include <cstdio>
#include <functional>
#include <initializer_list>

namespace {

const QString kFamily = QStringLiteral("DejaVu Sans");
const QVector<int> kLedSizes = {16, 32, 48, 64, 72};
const QVector<int> kAppIconSizes = {16, 32, 48, 64, 128, 256};

void fail(const QString &message)
{
    std::fprintf(stderr, "drawimages: %s\n", qPrintable(message));
}

QImage canvas(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

void smooth(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
}

QPen pen(const QBrush &brush, qreal width, Qt::PenCapStyle cap = Qt::RoundCap,
         Qt::PenJoinStyle join = Qt::RoundJoin)
{
    return QPen(brush, width, Qt::SolidLine, cap, join);
}

// Dial angle: 0 is twelve o'clock, growing clockwise.
QPointF polar(const QPointF &centre, qreal radius, qreal degrees)
{
    const qreal a = qDegreesToRadians(degrees);
    return centre + QPointF(radius * std::sin(a), -radius * std::cos(a));
}

QPolygonF polygon(std::initializer_list<QPointF> points)
{
    return QPolygonF(QVector<QPointF>(points));
}

QPainterPath textPath(const QString &text, bool bold)
{
    QFont font(kFamily);
    font.setPixelSize(200);
    font.setBold(bold);
    QPainterPath path;
    path.addText(0, 0, font, text);
    return path;
}

// Places the ink itself in the box: font metrics include bearings and line
// gaps that would push lettering off-centre on small icons.
QPainterPath fitInto(const QPainterPath &path, const QRectF &box, bool keepAspect)
{
    const QRectF ink = path.boundingRect();
    qreal sx = box.width() / ink.width();
    qreal sy = box.height() / ink.height();
    if (keepAspect)
        sx = sy = qMin(sx, sy);
    QTransform t;
    t.translate(box.center().x(), box.center().y());
    t.scale(sx, sy);
    t.translate(-ink.center().x(), -ink.center().y());
    return t.map(path);
}

// ------------------------------------------------------------- 32-pixel icons

QImage clockIcon()
{
    QImage image = canvas(32, 32);
    QPainter p(&image);
    smooth(p);
    const QPointF c(16, 16);

    QLinearGradient rim(0, 1, 0, 31);
    rim.setColorAt(0, QColor("#86e276"));
    rim.setColorAt(0.5, QColor("#35a83a"));
    rim.setColorAt(1, QColor("#17661e"));
    p.setPen(pen(QColor("#115016"), 1));
    p.setBrush(rim);
    p.drawEllipse(c, 15, 15);

    QRadialGradient face(QPointF(13, 12), 15);
    face.setColorAt(0, Qt::white);
    face.setColorAt(0.7, QColor("#f6f8f6"));
    face.setColorAt(1, QColor("#d6dcd6"));
    p.setPen(pen(QColor("#0f4a14"), 0.8));
    p.setBrush(face);
    p.drawEllipse(c, 12, 12);

    for (int hour = 0; hour < 12; ++hour) {
        const bool quarter = hour % 3 == 0;
        p.setPen(pen(QColor("#2b2f33"), quarter ? 1.7 : 1.0, Qt::FlatCap));
        p.drawLine(polar(c, quarter ? 8.3 : 9.5, hour * 30), polar(c, 11.3, hour * 30));
    }

    // Ten past ten keeps the two hands apart and reads as "clock" at a glance.
    p.setPen(pen(QColor("#1e2226"), 2.2));
    p.drawLine(c, polar(c, 6.3, 305));
    p.setPen(pen(QColor("#1e2226"), 1.5));
    p.drawLine(c, polar(c, 9.3, 60));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor("#17661e"));
    p.drawEllipse(c, 1.6, 1.6);
    return image;
}

QImage performanceIcon()
{
    QImage image = canvas(32, 32);
    QPainter p(&image);
    smooth(p);
    const QPointF c(16, 16);

    QLinearGradient bezel(4, 1, 28, 31);
    bezel.setColorAt(0, QColor("#d0d4d8"));
    bezel.setColorAt(1, QColor("#575c63"));
    p.setPen(pen(QColor("#3a3e43"), 1));
    p.setBrush(bezel);
    p.drawEllipse(c, 15, 15);

    QRadialGradient face(QPointF(14, 11), 16);
    face.setColorAt(0, QColor("#fbfbfc"));
    face.setColorAt(0.7, QColor("#d5d8dc"));
    face.setColorAt(1, QColor("#a6abb1"));
    p.setPen(pen(QColor("#464a50"), 0.8));
    p.setBrush(face);
    p.drawEllipse(c, 12.3, 12.3);

    for (int i = 0; i <= 8; ++i) {
        const qreal deg = -135 + i * 33.75;
        const bool major = i % 2 == 0;
        p.setPen(pen(QColor("#30343a"), major ? 1.4 : 0.9, Qt::FlatCap));
        p.drawLine(polar(c, major ? 8.4 : 9.5, deg), polar(c, 11.3, deg));
    }

    const qreal deg = 48;
    QPolygonF needle;
    needle << polar(c, 10.8, deg) << polar(c, 1.8, deg + 90) << polar(c, 3.4, deg + 180)
           << polar(c, 1.8, deg - 90);
    QLinearGradient red(polar(c, 2, deg - 90), polar(c, 2, deg + 90));
    red.setColorAt(0, QColor("#ff5a48"));
    red.setColorAt(1, QColor("#c0120c"));
    p.setPen(pen(QColor("#7d0c0c"), 0.6, Qt::RoundCap, Qt::MiterJoin));
    p.setBrush(red);
    p.drawPolygon(needle);

    QRadialGradient hub(QPointF(15.3, 15.2), 3);
    hub.setColorAt(0, QColor("#8a9097"));
    hub.setColorAt(1, QColor("#22252a"));
    p.setPen(Qt::NoPen);
    p.setBrush(hub);
    p.drawEllipse(c, 2.4, 2.4);
    return image;
}

QImage wirelessIcon()
{
    QImage image = canvas(32, 26);
    QPainter p(&image);
    smooth(p);
    const QPointF c(16, 21.4);

    QLinearGradient ink(0, 0, 0, 26);
    ink.setColorAt(0, QColor("#505761"));
    ink.setColorAt(1, QColor("#181a1e"));

    for (qreal r : {8.6, 13.8, 19.0}) {
        p.setPen(pen(ink, 3.2, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 45 * 16, 90 * 16);
    }

    // A drop whose point aims at the arcs, as if the waves flowed out of it.
    const qreal r = 2.8, tip = 5.0;
    const qreal t = std::acos(r / tip);
    QPainterPath drop;
    drop.addEllipse(c, r, r);
    QPolygonF cone;
    cone << c + QPointF(0, -tip) << c + QPointF(r * std::sin(t), -r * std::cos(t)) << c
         << c + QPointF(-r * std::sin(t), -r * std::cos(t));
    QPainterPath conePath;
    conePath.addPolygon(cone);
    conePath.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPath(drop.united(conePath));
    return image;
}

QImage exitIcon()
{
    QImage image = canvas(32, 32);
    QPainter p(&image);
    smooth(p);

    const QRectF button(1.5, 1.5, 29, 29);
    QLinearGradient green(0, 1, 0, 31);
    green.setColorAt(0, QColor("#7be46f"));
    green.setColorAt(0.5, QColor("#2fae35"));
    green.setColorAt(1, QColor("#177a1f"));
    p.setPen(pen(QColor("#0e5413"), 1));
    p.setBrush(green);
    p.drawRoundedRect(button, 6, 6);

    QLinearGradient gloss(0, 2, 0, 15);
    gloss.setColorAt(0, QColor(255, 255, 255, 150));
    gloss.setColorAt(1, QColor(255, 255, 255, 15));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawRoundedRect(QRectF(3, 2.5, 26, 12.5), 5, 5);

    const QPainterPath word =
        fitInto(textPath(QStringLiteral("EXIT"), true), QRectF(4.5, 11.5, 23, 9), false);
    p.fillPath(word.translated(0, 0.8), QColor(0, 60, 0, 150));
    p.fillPath(word, Qt::white);
    return image;
}

QImage usbIcon()
{
    QImage image = canvas(32, 15);
    QPainter p(&image);
    smooth(p);
    const QColor ink("#111111");
    const qreal y = 7.5;

    p.setPen(pen(ink, 1.6, Qt::FlatCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(4, y), QPointF(26, y));
    QPainterPath upper;
    upper.moveTo(8.5, y);
    upper.lineTo(12.5, 3.2);
    upper.lineTo(18.5, 3.2);
    p.drawPath(upper);
    QPainterPath lower;
    lower.moveTo(12, y);
    lower.lineTo(16, 11.8);
    lower.lineTo(21, 11.8);
    p.drawPath(lower);

    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QPointF(3.4, y), 2.7, 2.7);
    p.drawPolygon(polygon({{31.2, y}, {24.2, y - 3.7}, {24.2, y + 3.7}}));
    p.drawEllipse(QPointF(20.2, 3.2), 2.0, 2.0);
    p.drawRect(QRectF(20.5, 10.0, 3.6, 3.6));
    return image;
}

// The shape is drawn pointing down and mirrored for "up", while the light
// keeps coming from above in both.
QImage arrowIcon(bool up)
{
    QImage image = canvas(32, 32);
    QPainter p(&image);
    smooth(p);

    QPolygonF shape =
        polygon({{11, 2.5}, {21, 2.5}, {21, 14}, {29, 14}, {16, 29.5}, {3, 14}, {11, 14}});
    if (up) {
        for (QPointF &pt : shape)
            pt.setY(32 - pt.y());
    }

    QLinearGradient green(0, 2, 0, 30);
    green.setColorAt(0, QColor("#8fea76"));
    green.setColorAt(0.5, QColor("#38b43c"));
    green.setColorAt(1, QColor("#1b7b22"));
    p.setPen(pen(QColor("#125a18"), 1.2, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(green);
    p.drawPolygon(shape);

    QPainterPath clip;
    clip.addPolygon(shape);
    p.setClipPath(clip);
    QLinearGradient sheen(0, 0, 32, 0);
    sheen.setColorAt(0, QColor(255, 255, 255, 90));
    sheen.setColorAt(0.5, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sheen);
    p.drawRect(QRectF(0, 0, 16, 32));
    return image;
}

// -------------------------------------------------------------- plug pictures

QLinearGradient cylinder(qreal from, qreal to, Qt::Orientation across, const QColor &dark,
                         const QColor &light)
{
    QLinearGradient g = across == Qt::Horizontal ? QLinearGradient(from, 0, to, 0)
                                                 : QLinearGradient(0, from, 0, to);
    g.setColorAt(0, dark);
    g.setColorAt(0.3, light);
    g.setColorAt(0.55, light.darker(112));
    g.setColorAt(1, dark.darker(125));
    return g;
}

void drawCable(QPainter &p, const QPainterPath &path, qreal width)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(pen(QColor("#2d3035"), width, Qt::FlatCap));
    p.drawPath(path);
    p.setPen(pen(QColor("#4b5058"), width * 0.62, Qt::FlatCap));
    p.drawPath(path);
    p.setPen(pen(QColor(190, 196, 204, 110), width * 0.18, Qt::FlatCap));
    p.drawPath(path.translated(-width * 0.15, -width * 0.15));
}

QImage disconnectIcon()
{
    QImage image = canvas(128, 128);
    QPainter p(&image);
    smooth(p);
    // Drawn upright around the origin, then tilted so the pins point up-right.
    p.translate(70, 60);
    p.rotate(40);

    QPainterPath cable;
    cable.moveTo(0, 36);
    cable.cubicTo(0, 60, 14, 70, 10, 92);
    cable.cubicTo(6, 114, -10, 122, -12, 160);
    drawCable(p, cable, 9);

    QPainterPath relief;
    relief.moveTo(-12, 20);
    relief.lineTo(12, 20);
    relief.cubicTo(10, 30, 7, 36, 6, 42);
    relief.lineTo(-6, 42);
    relief.cubicTo(-7, 36, -10, 30, -12, 20);
    p.setPen(pen(QColor("#2f3237"), 1.2));
    p.setBrush(cylinder(-12, 12, Qt::Horizontal, QColor("#3e4247"), QColor("#8a9097")));
    p.drawPath(relief);
    p.setPen(pen(QColor(30, 32, 36, 160), 1.2));
    p.drawLine(QPointF(-9.5, 29), QPointF(9.5, 29));
    p.drawLine(QPointF(-8, 35), QPointF(8, 35));

    for (qreal x : {-13.5, 13.5}) {
        const QRectF pin(x - 4.5, -58, 9, 40);
        QLinearGradient brass =
            cylinder(pin.left(), pin.right(), Qt::Horizontal, QColor("#8a5f12"), QColor("#f7dc8a"));
        p.setPen(pen(QColor("#6a480c"), 1));
        p.setBrush(brass);
        p.drawRoundedRect(pin, 4.5, 4.5);
    }

    QPainterPath body;
    body.moveTo(-19, -26);
    body.lineTo(19, -26);
    body.quadTo(28, -26, 28, -17);
    body.lineTo(28, -6);
    body.cubicTo(28, 6, 21, 12, 18, 22);
    body.lineTo(-18, 22);
    body.cubicTo(-21, 12, -28, 6, -28, -6);
    body.lineTo(-28, -17);
    body.quadTo(-28, -26, -19, -26);
    p.setPen(pen(QColor("#3b3f45"), 1.5));
    p.setBrush(cylinder(-28, 28, Qt::Horizontal, QColor("#6f747b"), QColor("#e1e4e8")));
    p.drawPath(body);

    p.save();
    p.setClipPath(body);
    QLinearGradient face(0, -26, 0, -16);
    face.setColorAt(0, QColor(255, 255, 255, 120));
    face.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRectF(-30, -26, 60, 10), face);
    for (qreal y : {2.0, 8.0, 14.0}) {
        p.setPen(pen(QColor(40, 44, 50, 150), 1.4, Qt::FlatCap));
        p.drawLine(QPointF(-30, y), QPointF(30, y));
        p.setPen(pen(QColor(255, 255, 255, 110), 1, Qt::FlatCap));
        p.drawLine(QPointF(-30, y + 1.3), QPointF(30, y + 1.3));
    }
    p.restore();
    return image;
}

QImage connectIcon()
{
    QImage image = canvas(128, 128);
    QPainter p(&image);
    smooth(p);
    // Drawn lying along the x axis, then tilted to run bottom-left to top-right.
    p.translate(64, 64);
    p.rotate(-40);

    QPainterPath leftCable;
    leftCable.moveTo(-120, 16);
    leftCable.cubicTo(-82, 16, -74, 0, -50, 0);
    QPainterPath rightCable;
    rightCable.moveTo(50, 0);
    rightCable.cubicTo(74, 0, 82, -16, 120, -16);
    drawCable(p, leftCable, 9);
    drawCable(p, rightCable, 9);

    for (int side : {-1, 1}) {
        QPainterPath relief;
        relief.moveTo(side * 52, -6);
        relief.cubicTo(side * 46, -7, side * 42, -10, side * 34, -11);
        relief.lineTo(side * 34, 11);
        relief.cubicTo(side * 42, 10, side * 46, 7, side * 52, 6);
        relief.closeSubpath();
        p.setPen(pen(QColor("#2f3237"), 1.2));
        p.setBrush(cylinder(-11, 11, Qt::Vertical, QColor("#3e4247"), QColor("#8a9097")));
        p.drawPath(relief);
    }

    // The plug's metal sleeve shows where it enters the socket half.
    const QRectF sleeve(-6, -12, 8, 24);
    p.setPen(pen(QColor("#4a4e54"), 1));
    p.setBrush(cylinder(-12, 12, Qt::Vertical, QColor("#7c838b"), QColor("#f4f6f8")));
    p.drawRect(sleeve);

    const QRectF plug(-38, -16, 33, 32);
    const QRectF socket(1, -19, 36, 38);
    for (const QRectF &half : {plug, socket}) {
        const bool isSocket = half == socket;
        QPainterPath shell;
        shell.addRoundedRect(half, 7, 7);
        p.setPen(pen(QColor("#3b3f45"), 1.5));
        p.setBrush(cylinder(half.top(), half.bottom(), Qt::Vertical,
                            QColor(isSocket ? "#666b72" : "#737880"),
                            QColor(isSocket ? "#d6d9dd" : "#e3e6ea")));
        p.drawPath(shell);

        p.save();
        p.setClipPath(shell);
        const qreal grip = isSocket ? half.right() - 15 : half.left() + 7;
        for (int i = 0; i < 3; ++i) {
            const qreal x = grip + i * 4.5;
            p.setPen(pen(QColor(40, 44, 50, 150), 1.4, Qt::FlatCap));
            p.drawLine(QPointF(x, half.top()), QPointF(x, half.bottom()));
            p.setPen(pen(QColor(255, 255, 255, 110), 1, Qt::FlatCap));
            p.drawLine(QPointF(x + 1.3, half.top()), QPointF(x + 1.3, half.bottom()));
        }
        p.restore();
    }
    return image;
}

// ------------------------------------------------------------------ status LED

QImage ledImage(int size, bool lit)
{
    QImage image = canvas(size, size);
    QPainter p(&image);
    smooth(p);
    p.scale(size / 64.0, size / 64.0);
    const QPointF c(32, 32);

    QLinearGradient bezel(6, 4, 58, 60);
    bezel.setColorAt(0, QColor("#e2e5e8"));
    bezel.setColorAt(1, QColor("#44484d"));
    p.setPen(Qt::NoPen);
    p.setBrush(bezel);
    p.drawEllipse(c, 31, 31);

    // Inner bevel: lit, it catches the red light of the lens.
    QLinearGradient bevel(6, 4, 58, 60);
    bevel.setColorAt(0, QColor(lit ? "#6a1010" : "#2e3135"));
    bevel.setColorAt(1, QColor(lit ? "#ff8a80" : "#c4c8cc"));
    p.setBrush(bevel);
    p.drawEllipse(c, 26, 26);

    QRadialGradient lens(c, 23, QPointF(27, 25));
    if (lit) {
        lens.setColorAt(0, QColor("#fff3ee"));
        lens.setColorAt(0.22, QColor("#ff7a66"));
        lens.setColorAt(0.6, QColor("#f21212"));
        lens.setColorAt(1, QColor("#9a0000"));
    } else {
        lens.setColorAt(0, QColor("#7a1616"));
        lens.setColorAt(0.55, QColor("#470606"));
        lens.setColorAt(1, QColor("#1c0000"));
    }
    p.setBrush(lens);
    p.drawEllipse(c, 23, 23);

    p.save();
    p.translate(24, 20);
    p.rotate(-35);
    QRadialGradient shine(QPointF(0, 0), 9);
    shine.setColorAt(0, QColor(255, 255, 255, lit ? 235 : 150));
    shine.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(shine);
    p.scale(1, 0.6);
    p.drawEllipse(QPointF(0, 0), 9, 9);
    p.restore();
    return image;
}

// ------------------------------------------------------ settings and info

QPainterPath gearPath(const QPointF &c, int teeth, qreal outer, qreal root, qreal hole)
{
    const qreal pitch = 360.0 / teeth;
    const qreal tipHalf = pitch * 0.19, rootHalf = pitch * 0.30;
    QPolygonF outline;
    for (int i = 0; i < teeth; ++i) {
        const qreal a = i * pitch;
        outline << polar(c, root, a - rootHalf) << polar(c, outer, a - tipHalf)
                << polar(c, outer, a) << polar(c, outer, a + tipHalf)
                << polar(c, root, a + rootHalf);
        for (int k = 1; k < 6; ++k)
            outline << polar(c, root, a + rootHalf + (pitch - 2 * rootHalf) * k / 6);
    }
    QPainterPath gear;
    gear.addPolygon(outline);
    gear.closeSubpath();
    QPainterPath bore;
    bore.addEllipse(c, hole, hole);
    return gear.subtracted(bore);
}

QImage settingsIcon()
{
    QImage image = canvas(128, 128);
    QPainter p(&image);
    smooth(p);
    const QPointF c(64, 63);
    const QPainterPath gear = gearPath(c, 8, 59, 45, 16);

    p.fillPath(gear.translated(0, 2), QColor(0, 0, 0, 60));
    QLinearGradient steel(20, 8, 108, 120);
    steel.setColorAt(0, QColor("#d9dcdf"));
    steel.setColorAt(0.5, QColor("#9a9fa6"));
    steel.setColorAt(1, QColor("#5b6067"));
    p.setPen(pen(QColor("#3f4349"), 2, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(steel);
    p.drawPath(gear);

    // An engraved ring gives the flat outline some depth.
    p.setBrush(Qt::NoBrush);
    p.setPen(pen(QColor(40, 44, 50, 140), 3));
    p.drawEllipse(c, 31, 31);
    p.setPen(pen(QColor(255, 255, 255, 120), 1.5));
    p.drawEllipse(c, 33, 33);
    p.setPen(pen(QColor(255, 255, 255, 110), 2));
    p.drawArc(QRectF(c.x() - 17.5, c.y() - 17.5, 35, 35), 200 * 16, 160 * 16);
    return image;
}

QImage infoIcon()
{
    QImage image = canvas(128, 128);
    QPainter p(&image);
    smooth(p);
    const QPointF c(64, 63);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 55));
    p.drawEllipse(c + QPointF(0, 2.5), 60, 60);

    QRadialGradient blue(c, 64, QPointF(52, 36));
    blue.setColorAt(0, QColor("#79c0ff"));
    blue.setColorAt(0.45, QColor("#2b80e2"));
    blue.setColorAt(1, QColor("#0c47a0"));
    p.setPen(pen(QColor("#093b85"), 2));
    p.setBrush(blue);
    p.drawEllipse(c, 59, 59);

    QLinearGradient gloss(0, 7, 0, 62);
    gloss.setColorAt(0, QColor(255, 255, 255, 150));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawEllipse(QRectF(24, 7, 80, 54));

    const QPainterPath letter =
        fitInto(textPath(QStringLiteral("i"), true), QRectF(40, 24, 48, 78), true);
    p.fillPath(letter.translated(0, 2.5), QColor(5, 30, 80, 120));
    p.fillPath(letter, Qt::white);
    return image;
}

// ------------------------------------------------------------------------ logo

QPainterPath zigzagArrow(const QPolygonF &points, qreal width, qreal headLength, qreal headHalf)
{
    const QPointF end = points.last();
    QPointF dir = end - points.at(points.size() - 2);
    dir /= std::hypot(dir.x(), dir.y());
    const QPointF normal(-dir.y(), dir.x());

    QPainterPath spine;
    spine.moveTo(points.first());
    for (int i = 1; i < points.size(); ++i)
        spine.lineTo(points.at(i));
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setJoinStyle(Qt::MiterJoin);
    stroker.setMiterLimit(4);
    stroker.setCapStyle(Qt::FlatCap);

    // The head starts slightly inside the shaft so no seam shows between them.
    const QPointF base = end - dir * 2;
    QPainterPath head;
    head.addPolygon(
        polygon({base + normal * headHalf, end + dir * headLength, base - normal * headHalf}));
    head.closeSubpath();
    return stroker.createStroke(spine).united(head).simplified();
}

// Painted afresh for each size rather than scaled down from the largest one.
// Below 48 px "control" cannot be read: it is dropped, ORV grows and the
// arrow moves under it instead of across it, where it would only blur it.
void paintLogo(QPainter &p, int size)
{
    p.save();
    const qreal scale = size / 256.0;
    const qreal px = 1 / scale; // one device pixel in logo units
    const bool compact = size < 48;
    p.scale(scale, scale);

    QPainterPath tile;
    tile.addRoundedRect(QRectF(8, 8, 240, 240), 44, 44);
    QLinearGradient paper(0, 8, 0, 248);
    paper.setColorAt(0, Qt::white);
    paper.setColorAt(1, QColor("#eceff3"));
    p.setPen(pen(QColor("#aeb5be"), qMax(4.0, px)));
    p.setBrush(paper);
    p.drawPath(tile);
    p.setClipPath(tile);

    const QRectF orvBox = compact ? QRectF(22, 24, 212, 134) : QRectF(30, 34, 196, 84);
    const QPainterPath orv = fitInto(textPath(QStringLiteral("ORV"), true), orvBox, false);
    QLinearGradient blue(0, orvBox.top(), 0, orvBox.bottom());
    blue.setColorAt(0, QColor("#2f7df2"));
    blue.setColorAt(1, QColor("#0d44b4"));
    p.fillPath(orv, blue);

    if (!compact) {
        const QPainterPath word =
            fitInto(textPath(QStringLiteral("control"), false), QRectF(22, 160, 146, 46), true);
        p.fillPath(word, QColor("#141414"));
    }

    const QPolygonF bolt = compact ? polygon({{22, 170}, {150, 196}, {118, 212}, {196, 228}})
                                   : polygon({{40, 18}, {152, 114}, {128, 130}, {202, 174}});
    const QPainterPath arrow =
        compact ? zigzagArrow(bolt, qMax(22.0, 1.4 * px), 40, 30) : zigzagArrow(bolt, 11, 32, 21);
    const QPointF tip = arrow.boundingRect().bottomRight();

    // A white halo keeps the letters readable where the arrow crosses them.
    if (!compact) {
        p.setBrush(Qt::NoBrush);
        p.setPen(pen(Qt::white, 9, Qt::RoundCap, Qt::MiterJoin));
        p.drawPath(arrow);
    }
    QLinearGradient orange(bolt.first(), tip);
    orange.setColorAt(0, QColor("#ffb937"));
    orange.setColorAt(0.5, QColor("#ff8a0a"));
    orange.setColorAt(1, QColor("#eb5c00"));
    p.setPen(compact ? QPen(Qt::NoPen)
                     : pen(QColor("#b84600"), qMax(2.0, 0.5 * px), Qt::RoundCap, Qt::MiterJoin));
    p.setBrush(orange);
    p.drawPath(arrow);
    p.restore();
}

QImage logo(int size)
{
    QImage image = canvas(size, size);
    QPainter p(&image);
    smooth(p);
    paintLogo(p, size);
    return image;
}

// --------------------------------------------------------------------- output

bool ensureFolder(const QString &file)
{
    const QString folder = QFileInfo(file).absolutePath();
    if (QDir().mkpath(folder))
        return true;
    fail(QStringLiteral("cannot create %1").arg(folder));
    return false;
}

// Each picture has one fixed size; a drawing that drifts from it is an
// error, not something to scale away.
bool savePng(const QImage &image, const QSize &size, const QString &path)
{
    if (image.size() != size) {
        fail(QStringLiteral("%1 painted at %2x%3 instead of %4x%5")
                 .arg(path)
                 .arg(image.width())
                 .arg(image.height())
                 .arg(size.width())
                 .arg(size.height()));
        return false;
    }
    if (!ensureFolder(path))
        return false;
    if (!image.save(path, "PNG")) {
        fail(QStringLiteral("cannot write %1").arg(path));
        return false;
    }
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format();
    const QImage back = reader.read();
    if (format != "png" || back.size() != image.size() || !back.hasAlphaChannel()) {
        fail(QStringLiteral("%1 does not read back as a %2x%3 RGBA PNG")
                 .arg(path)
                 .arg(image.width())
                 .arg(image.height()));
        return false;
    }
    return true;
}

// Qt's own ICO writer stores a single image, while Windows picks the size it
// needs from several; so the file is laid out here, 24-bit colour plus a
// 1-bit transparency mask per size.
QByteArray icoFile(const QVector<QImage> &images)
{
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);

    out << quint16(0) << quint16(1) << quint16(images.size());
    quint32 offset = 6 + 16 * images.size();
    for (const QImage &image : images) {
        const int w = image.width(), h = image.height();
        const quint32 pixels = ((w * 3 + 3) & ~3) * h + ((w + 31) / 32) * 4 * h;
        const quint32 bytes = 40 + pixels;
        out << quint8(w) << quint8(h) << quint8(0) << quint8(0) << quint16(1) << quint16(24)
            << bytes << offset;
        offset += bytes;
    }

    for (const QImage &source : images) {
        const QImage image = source.convertToFormat(QImage::Format_ARGB32);
        const int w = image.width(), h = image.height();
        const int colourStride = (w * 3 + 3) & ~3;
        const int maskStride = ((w + 31) / 32) * 4;
        out << quint32(40) << qint32(w) << qint32(2 * h) << quint16(1) << quint16(24) << quint32(0)
            << quint32((colourStride + maskStride) * h) << qint32(0) << qint32(0) << quint32(0)
            << quint32(0);

        for (int y = h - 1; y >= 0; --y) {
            QByteArray row(colourStride, '\0');
            for (int x = 0; x < w; ++x) {
                const QRgb px = image.pixel(x, y);
                if (qAlpha(px) < 128)
                    continue;
                row[3 * x] = char(qBlue(px));
                row[3 * x + 1] = char(qGreen(px));
                row[3 * x + 2] = char(qRed(px));
            }
            out.writeRawData(row.constData(), row.size());
        }
        for (int y = h - 1; y >= 0; --y) {
            QByteArray row(maskStride, '\0');
            for (int x = 0; x < w; ++x) {
                if (qAlpha(image.pixel(x, y)) < 128)
                    row[x / 8] = char(uchar(row[x / 8]) | (0x80 >> (x % 8)));
            }
            out.writeRawData(row.constData(), row.size());
        }
    }
    return data;
}

QString hex(QRgb pixel)
{
    return QStringLiteral("%1").arg(pixel, 8, 16, QLatin1Char('0'));
}

// Reads the icon back through Qt's ICO plugin: every size must be there and
// every kept pixel must carry the painted colour. That plugin reads 24-bit
// entries as opaque and ignores their mask, so masked pixels may come back
// either transparent or as the black stored under them.
bool icoColoursMatch(const QString &path, const QVector<QImage> &images)
{
    QImageReader reader(path, "ico");
    if (reader.imageCount() != images.size()) {
        fail(QStringLiteral("%1 holds %2 images instead of %3")
                 .arg(path)
                 .arg(reader.imageCount())
                 .arg(images.size()));
        return false;
    }
    for (int i = 0; i < images.size(); ++i) {
        const QImage painted = images.at(i).convertToFormat(QImage::Format_ARGB32);
        if (!reader.jumpToImage(i)) {
            fail(QStringLiteral("%1: cannot jump to image %2").arg(path).arg(i));
            return false;
        }
        const QImage back = reader.read().convertToFormat(QImage::Format_ARGB32);
        if (back.size() != painted.size()) {
            fail(QStringLiteral("%1: image %2 reads back as %3x%4")
                     .arg(path)
                     .arg(i)
                     .arg(back.width())
                     .arg(back.height()));
            return false;
        }
        for (int y = 0; y < back.height(); ++y) {
            for (int x = 0; x < back.width(); ++x) {
                const QRgb want = painted.pixel(x, y);
                const QRgb got = back.pixel(x, y);
                const bool same = qAlpha(want) >= 128 ? got == (want | 0xff000000u)
                                                      : qAlpha(got) == 0 || got == 0xff000000u;
                if (!same) {
                    fail(QStringLiteral("%1: image %2 differs at %3,%4 (painted %5, read %6)")
                             .arg(path)
                             .arg(i)
                             .arg(x)
                             .arg(y)
                             .arg(hex(want), hex(got)));
                    return false;
                }
            }
        }
    }
    return true;
}

// Finds each image through the icon directory, as Windows does, and checks
// its header and that its AND mask hides exactly the pixels painted less
// than half opaque.
bool icoMasksMatch(const QString &path, const QByteArray &data, const QVector<QImage> &images)
{
    for (int i = 0; i < images.size(); ++i) {
        const QImage painted = images.at(i).convertToFormat(QImage::Format_ARGB32);
        const int w = painted.width(), h = painted.height();
        QDataStream in(data);
        in.setByteOrder(QDataStream::LittleEndian);
        in.skipRawData(6 + 16 * i + 12);
        quint32 offset = 0;
        in >> offset;
        if (in.status() != QDataStream::Ok || offset + 40 > quint32(data.size())) {
            fail(QStringLiteral("%1: bad directory entry %2").arg(path).arg(i));
            return false;
        }
        QDataStream header(data.mid(int(offset), 40));
        header.setByteOrder(QDataStream::LittleEndian);
        quint32 size = 0;
        qint32 width = 0, height = 0;
        quint16 planes = 0, bits = 0;
        header >> size >> width >> height >> planes >> bits;
        if (size != 40 || width != w || height != 2 * h || planes != 1 || bits != 24) {
            fail(QStringLiteral("%1: image %2 has a wrong bitmap header").arg(path).arg(i));
            return false;
        }
        const int maskStride = ((w + 31) / 32) * 4;
        const int maskStart = int(offset) + 40 + ((w * 3 + 3) & ~3) * h;
        if (maskStart + maskStride * h > data.size()) {
            fail(QStringLiteral("%1: image %2 is cut short").arg(path).arg(i));
            return false;
        }
        for (int y = 0; y < h; ++y) {
            const char *row = data.constData() + maskStart + (h - 1 - y) * maskStride;
            for (int x = 0; x < w; ++x) {
                const bool hidden = uchar(row[x / 8]) & (0x80 >> (x % 8));
                if (hidden != (qAlpha(painted.pixel(x, y)) < 128)) {
                    fail(QStringLiteral("%1: image %2 mask wrong at %3,%4")
                             .arg(path)
                             .arg(i)
                             .arg(x)
                             .arg(y));
                    return false;
                }
            }
        }
    }
    return true;
}

bool saveIco(const QVector<QImage> &images, const QString &path)
{
    if (!ensureFolder(path))
        return false;
    QFile file(path);
    const QByteArray data = icoFile(images);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) {
        fail(QStringLiteral("cannot write %1").arg(path));
        return false;
    }
    file.close();
    if (!file.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("cannot read back %1").arg(path));
        return false;
    }
    return icoColoursMatch(path, images) && icoMasksMatch(path, file.readAll(), images);
}

QVector<QImage> ledImages(bool lit)
{
    QVector<QImage> images;
    for (int size : kLedSizes)
        images << ledImage(size, lit);
    return images;
}

bool fontAvailable()
{
    const QFontInfo info{QFont(kFamily)};
    if (info.family() == kFamily)
        return true;
    fail(QStringLiteral("font \"%1\" not found (got \"%2\")").arg(kFamily, info.family()));
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    if (argc != 2) {
        std::fprintf(stderr, "usage: drawimages RESOURCES_DIR\n");
        return 2;
    }
    const QDir resources(QString::fromLocal8Bit(argv[1]));
    if (!resources.exists()) {
        fail(QStringLiteral("%1 is not a folder").arg(resources.path()));
        return 2;
    }
    if (!fontAvailable())
        return 1;
    if (!QImageReader::supportedImageFormats().contains("ico")) {
        fail(QStringLiteral("Qt has no ICO plugin to check the icons with"));
        return 1;
    }

    const QString icons =
        QDir::cleanPath(resources.absoluteFilePath(QStringLiteral("../packaging/icons")));
    const auto in = [&](const QString &name) { return resources.absoluteFilePath(name); };

    struct Picture
    {
        QString path;
        QSize size;
        std::function<QImage()> paint;
    };
    const QVector<Picture> pictures = {
        {in("clockicon"), {32, 32}, clockIcon},
        {in("disconnecticon"), {128, 128}, disconnectIcon},
        {in("progicon"), {256, 256}, [] { return logo(256); }},
        {in("performanceicon"), {32, 32}, performanceIcon},
        {in("wirelessicon"), {32, 26}, wirelessIcon},
        {in("exiticon"), {32, 32}, exitIcon},
        {in("usbicon"), {32, 15}, usbIcon},
        {in("connecticon"), {128, 128}, connectIcon},
        {in("downloadicon"), {32, 32}, [] { return arrowIcon(false); }},
        {in("uploadicon"), {32, 32}, [] { return arrowIcon(true); }},
        {in("ressources/settings.png"), {128, 128}, settingsIcon},
        {in("ressources/info.png"), {128, 128}, infoIcon},
    };

    bool ok = true;
    for (const Picture &picture : pictures)
        ok = savePng(picture.paint(), picture.size, picture.path) && ok;
    for (int size : kAppIconSizes) {
        const QString path = QStringLiteral("%1/%2x%2/orvcontrol.png").arg(icons).arg(size);
        ok = savePng(logo(size), QSize(size, size), path) && ok;
    }
    ok = saveIco(ledImages(false), in("ressources/Off.ico")) && ok;
    ok = saveIco(ledImages(true), in("ressources/red.ico")) && ok;
    return ok ? 0 : 1;
}

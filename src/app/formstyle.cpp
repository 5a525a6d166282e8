#include "formstyle.h"
#include "identity.h"

#include <QApplication>
#include <QCheckBox>
#include <QFont>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QMainWindow>
#include <QPalette>
#include <QPushButton>
#include <QSlider>
#include <QStyleOptionSpinBox>
#include <QTextBrowser>
#include <QTextFrame>
#include <QtMath>

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
    QGuiApplication::setDesktopFileName(QString::fromLatin1(orv::kAppId));
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

void markFocus(QWidget *form)
{
    // Each on the widget's own sheet, which wins over any rule of its parents'. Only colours
    // change, so that nothing moves when the focus comes or goes.
    for (QWidget *w : form->findChildren<QWidget *>()) {
        const char *rule =
            qobject_cast<QSlider *>(w)        ? "QSlider::handle:focus { background: %1; }"
            : qobject_cast<QCheckBox *>(w)    ? "QCheckBox:focus { background: %1; }"
            : qobject_cast<QPushButton *>(w)  ? "QPushButton:focus { border-color: %1; }"
            : qobject_cast<QTextBrowser *>(w) ? "QTextBrowser:focus { background: white; }"
                                              : nullptr;
        if (rule)
            w->setStyleSheet(w->styleSheet() + QLatin1Char('\n') +
                             QString::fromLatin1(rule).replace(QLatin1String("%1"),
                                                               QLatin1String("rgb(48, 140, 198)")));
    }
}

// Under Qt 5 the one-line lag instructions, a 14-pixel line between the document's 4-pixel
// margins, overflow their 21-pixel rectangle.
void fitHelpText(QTextBrowser *help)
{
    help->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    help->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    help->ensurePolished();
    const QRect room = help->contentsRect();
    QTextDocument *document = help->document();
    document->setTextWidth(room.width());
    QTextFrameFormat frame = document->rootFrame()->frameFormat();
    const qreal text = document->size().height() - frame.topMargin() - frame.bottomMargin();
    const qreal margin = qBound(0.0, qreal(qFloor((room.height() - text) / 2)), frame.topMargin());
    frame.setTopMargin(margin);
    frame.setBottomMargin(margin);
    document->rootFrame()->setFrameFormat(frame);
}

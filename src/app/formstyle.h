#pragma once

#include <QSpinBox>

class QFont;
class QMainWindow;
class QTextBrowser;

// The font the form's fixed rectangles were laid out for, in the platform's own family.
QFont formFont(QFont platformFont);

// A line of text in whole pixels, its ascent and its descent each rounded up: what Qt 5
// reports as the font's height; Qt 6 rounds the fractional sum instead.
int formLineHeight(const QFont &font);

// Makes formFont() the application font; call before the window is created, because widgets
// styled by a style sheet do not pick up a font set on their window later.
void applyFormFont();

// Title, background and desktop file name that the shown window carries over what the form
// sets.
void applyWindowFrame(QMainWindow &window);

// The form's spin boxes, sized as Qt 5 and Qt 6.4 size a spin box under a style sheet: its widest
// text, 16 pixels for the buttons and its frame. Qt 6.8 adds the frame twice and Qt 6.11 the
// buttons twice, and the inflated hints crowd the labels beside them out of their rows.
class FormSpinBox : public QSpinBox
{
public:
    using QSpinBox::QSpinBox;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
};

// A visible mark on the focused control where the form's style sheets leave none: the
// sliders' handle, the check boxes (the LEDs and prefocus), the buttons and the help texts.
void markFocus(QWidget *form);

// A help text: it never scrolls, and its margins above and below shrink to what its fixed
// rectangle leaves.
void fitHelpText(QTextBrowser *help);

#pragma once

class QFont;
class QMainWindow;

// Settings that must be made before the QApplication exists.
void prepareApplication();

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

#pragma once

class QFont;
class QMainWindow;

// Settings that must be made before the QApplication exists.
void prepareApplication();

// The font the form's fixed rectangles were laid out for, in the platform's own family.
QFont formFont(QFont platformFont);

// Makes formFont() the application font; call before the window is created, because widgets
// styled by a style sheet do not pick up a font set on their window later.
void applyFormFont();

// Title and background that the shown window carries over what the form sets.
void applyWindowFrame(QMainWindow &window);

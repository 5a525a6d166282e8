#pragma once

// Settings that must be made before the QApplication exists; argc and argv are main's.
void prepareApplication(int argc = 0, char **argv = nullptr);

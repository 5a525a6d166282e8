// A test main that starts the application the way the program does.
#pragma once

#include "windowframe.h"

#include <QApplication>
#include <QtTest>

#define ORV_TEST_MAIN(TestClass)                                                                   \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        prepareApplication();                                                                      \
        QApplication app(argc, argv);                                                              \
        applyFormFont();                                                                           \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }

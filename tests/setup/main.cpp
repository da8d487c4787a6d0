// One QApplication for the window tests; the plain tests do not need it but do
// not mind it either.
#include "link/modGlobal.h"

#include <gtest/gtest.h>
#include <QApplication>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

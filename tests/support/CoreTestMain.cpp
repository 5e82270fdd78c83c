#include <QCoreApplication>
#include <gtest/gtest.h>

// Core tests need a Qt application object for the database drivers and detached processes.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#pragma once
// One QApplication per test program, made before the first test and destroyed after the last,
// while Qt's own globals still exist (a function-local static would outlive them).
#include <QApplication>
#include <gtest/gtest.h>

namespace guitest {

class TAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!QApplication::instance()) App = new QApplication(Argc, Argv);
    }
    void TearDown() override {
        delete App;
        App = nullptr;
    }

private:
    int Argc = 1;
    char Name[16] = "velodra-test";
    char* Argv[2] = {Name, nullptr};
    QApplication* App = nullptr;
};

inline ::testing::Environment* const AppEnvironment =
    ::testing::AddGlobalTestEnvironment(new TAppEnvironment);

} // namespace guitest

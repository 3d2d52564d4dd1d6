// A clean runtime on Qt's offscreen platform for the window tests: fresh
// screens, tables, hooks and variables, the screen-field handler, and the
// Qt window layer installed (its application object made once), and the
// message boxes recorded instead of shown (recorded_). Closing every window
// at the end lets each test start with none.
#pragma once

#include <gtest/gtest.h>

#include <QtCore/QTimer>
#include <QtWidgets/QApplication>
#include <functional>
#include <memory>

#include "core/hooks.h"
#include "core/message_box.h"
#include "core/runtime_arrays.h"
#include "core/string_tables.h"
#include "expr/variables.h"
#include "ui/qt/qt_windows.h"
#include "ui/screen.h"

namespace tessaly {

// Runs `step` once the loop that is about to start is running.
inline void Later(std::function<void()> step, int ms = 0) { QTimer::singleShot(ms, step); }

class QtWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ScreenResetAll();
    rtarray::FreeAll();
    strtab::ClearAll();
    ClearHooks();
    ResetVariables();
    InstallScreenFieldHandler();
    static int argc = 1;
    static char name[] = "ui_qt_tests";
    static char* argv[] = {name, nullptr};
    InstallQtWindows(&argc, argv);
    boxes_ = std::make_unique<ScopedMessageBoxUi>(&recorded_);
  }
  void TearDown() override {
    boxes_.reset();
    Windows().CloseAllWindows();
    QApplication::processEvents();
    ScreenResetAll();
  }

  RecordingMessageBoxUi recorded_;
  std::unique_ptr<ScopedMessageBoxUi> boxes_;
};

}  // namespace tessaly

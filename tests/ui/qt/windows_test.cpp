// The Qt window layer and the main menu window on the offscreen platform.

#include <gtest/gtest.h>

#include <QtCore/QTimer>
#include <QtTest/QTest>
#include <QtWidgets/QApplication>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QMainWindow>
#include <QtWidgets/QMenuBar>
#include <functional>
#include <string>

#include "core/flags.h"
#include "core/hooks.h"
#include "core/message_box.h"
#include "core/process.h"
#include "core/runtime_arrays.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "expr/variables.h"
#include "menus/menu.h"
#include "ui/qt/qt_windows.h"
#include "ui/screen.h"
#include "qt_fixture.h"

namespace tessaly {
namespace {

const std::string kMenus = std::string(TESSALY_FIXTURES) + "/menus/";

std::string Str(Slice s) { return std::string(s.data(), s.size()); }

class WindowsTest : public QtWindowTest {
 protected:
  // A window of `kind` showing the inline list `spec`, its controls made.
  WindowId FieldWindow(const char* spec, int kind = 5) {
    WindowRequest r;
    r.kind = kind;
    r.title = "Datos";
    r.columns = 40;
    r.rows = 6;
    Status s;
    WindowId w = Windows().OpenWindow(r, &s);
    EXPECT_NE(w, kNoWindow) << s.code();
    EXPECT_EQ(ScreenOpenFieldList(Slice(spec), 0), Status::kOk);
    EXPECT_EQ(ScreenSetWin(0), Status::kOk);
    return w;
  }

  QLineEdit* Edit(WindowId w, int field) { return qobject_cast<QLineEdit*>(FieldWidget(w, field)); }
};

TEST_F(WindowsTest, TypingEnterTabAndShiftTabMoveThroughTheFieldsAndStoreThem) {
  WindowId w = FieldWindow("'Nombre:':'A20','Ciudad:':'A20','Kgs:':'26'");
  ASSERT_NE(Edit(w, 3), nullptr);
  EXPECT_EQ(Edit(w, 3)->alignment() & Qt::AlignRight, Qt::AlignRight);
  Later([&] {
    QTest::keyClicks(Edit(w, 1), "Jos");
    QTest::sendKeyEvent(QTest::Click, Edit(w, 1), Qt::Key_Eacute, QString::fromUtf8("\xc3\xa9"),
                        Qt::NoModifier);
    QTest::keyClick(Edit(w, 1), Qt::Key_Tab);
    EXPECT_EQ(ScreenCurrentInstance()->current_field, 2);
    QTest::keyClicks(Edit(w, 2), "Vigo");
    QTest::keyClick(Edit(w, 2), Qt::Key_Backtab);
    EXPECT_EQ(ScreenCurrentInstance()->current_field, 1);
    QTest::keyClick(Edit(w, 1), Qt::Key_Return);
    QTest::keyClick(Edit(w, 2), Qt::Key_Return);
    QTest::keyClicks(Edit(w, 3), "12,5");
    QTest::keyClick(Edit(w, 3), Qt::Key_Return);  // past the last field: confirmed
  });
  EXPECT_EQ(Windows().RunWindow(w), Status(64));
  // The typed text crossed the layer as Windows-1252.
  EXPECT_EQ(Str(Trim(ScreenFieldText(1))), "Jos\xe9");
  EXPECT_EQ(Str(Trim(ScreenFieldText(2))), "Vigo");
  EXPECT_EQ(Word(kLastKey), 0);
}

TEST_F(WindowsTest, EscCancelsAndAModalWindowFromAModalWindowRunsItsOwnLoop) {
  WindowId outer = FieldWindow("'Uno:':'A10'");
  WindowId inner = kNoWindow;
  bool outer_blocked = false;
  Status inner_result;
  Later([&] {
    inner = FieldWindow("'Dos:':'A10'");
    Later([&] {
      outer_blocked = !WindowEnabled(outer);
      EXPECT_EQ(Windows().WindowCount(), 2);
      QTest::keyClick(Edit(inner, 1), Qt::Key_Escape);
    });
    inner_result = Windows().RunWindow(inner);
    (void)ScreenCloseInstance();
    // Back in the outer loop, which takes input again.
    EXPECT_TRUE(WindowEnabled(outer));
    Later([&] { QTest::keyClick(Edit(outer, 1), Qt::Key_Escape); });
  });
  EXPECT_EQ(Windows().RunWindow(outer), Status::kUserCanceled);
  EXPECT_TRUE(outer_blocked);
  EXPECT_EQ(inner_result, Status::kUserCanceled);
  EXPECT_EQ(Windows().WindowCount(), 0);
  EXPECT_EQ(rtarray::Count(rtarray::kWindows), 0);
}

TEST_F(WindowsTest, BadKindIsRefusedAndLeavesNoWindowDisabled) {
  WindowRequest main;
  main.main_window = true;
  Status s;
  WindowId m = Windows().OpenWindow(main, &s);
  ASSERT_NE(m, kNoWindow);
  WindowRequest bad;
  bad.kind = 12;
  EXPECT_EQ(Windows().OpenWindow(bad, &s), kNoWindow);
  EXPECT_EQ(s, Status::kBadInputData);
  EXPECT_TRUE(WindowEnabled(m));
  // A modal window disables the one below only while it is open.
  WindowRequest dialog;
  dialog.kind = 3;
  WindowId d = Windows().OpenWindow(dialog, &s);
  EXPECT_FALSE(WindowEnabled(m));
  EXPECT_EQ(Windows().CloseWindow(d, Status::kOk), Status::kOk);
  EXPECT_TRUE(WindowEnabled(m));
}

TEST_F(WindowsTest, KeyTablesAndIdentifiers) {
  EXPECT_EQ(KeyIndexOf(Qt::Key_Tab, true, false), 8);
  EXPECT_EQ(KeyIndexOf(Qt::Key_End, false, true), 32);
  EXPECT_EQ(KeyIndexOf(Qt::Key_Left, false, false), kKeyOwnedByControl);
  EXPECT_EQ(KeyMapAction(0, 14), 25 | (12 << 8));  // F4: NLS
  EXPECT_EQ(KeyMapAction(1, 14), 0);               // F4 does nothing in map 1
  EXPECT_EQ(ActionOfIdentifier(1503), 16 | (3 << 8));
  EXPECT_EQ(ActionOfIdentifier(3007), 25 | (7 << 8));
  EXPECT_EQ(ActionOfIdentifier(3100), 25 | (100 << 8));
  EXPECT_EQ(ActionOfIdentifier(2001), 0);
  // Row 1 column 1 without margins or spacing is the pixel (1, 1).
  EXPECT_EQ(CellX(1), 1);
  EXPECT_EQ(CellY(2), 1 + CurrentCellMetrics().height);
}

// ---- Menus ------------------------------------------------------------------------

struct MenuCase {
  const char* file;
  const char* popup;        // first popup's title
  const char* first_item;   // its first item
  const char* first_command;
};

TEST_F(WindowsTest, MenuBarsFromPmtAndPpn) {
  const MenuCase cases[] = {
      {"SHOP.PMT", "Ficheros", "Clientes", "MantMain CLIENTES"},
      {"SHOP.PPN", "Ficheros", "Clientes", "MantMain CLIENTES"},
  };
  for (const MenuCase& c : cases) {
    SCOPED_TRACE(c.file);
    std::vector<std::string> lines;
    std::string path = kMenus + c.file;
    ASSERT_EQ(MenuLinesOf(Slice::Of(path), &lines), Status::kOk);
    std::vector<MenuEntry> bar;
    EXPECT_EQ(BuildMenuEntries(lines, &bar), Status::kOk);
    ASSERT_FALSE(bar.empty());
    EXPECT_EQ(bar[0].title, c.popup);
    ASSERT_FALSE(bar[0].entries.empty());
    EXPECT_EQ(bar[0].entries[0].title, c.first_item);
    EXPECT_EQ(bar[0].entries[0].id, 1500);
    EXPECT_EQ(Str(MenuCommandOf(1500)), c.first_command);
  }
  // The PMT: a quoted comma stays in the title, a popup two levels deep
  // closes before the next top-level line, an empty popup stays.
  std::vector<std::string> lines;
  ASSERT_EQ(MenuLinesOf(Slice::Of(kMenus + "SHOP.PMT"), &lines), Status::kOk);
  std::vector<MenuEntry> bar;
  ASSERT_EQ(BuildMenuEntries(lines, &bar), Status::kOk);
  ASSERT_EQ(bar.size(), 3u);
  EXPECT_EQ(bar[0].entries[1].title, "Altas, bajas");
  EXPECT_EQ(bar[0].entries[2].entries[0].title, "Ventas");
  EXPECT_EQ(bar[1].title, "Vac\xedo");
  EXPECT_TRUE(bar[1].popup && bar[1].entries.empty());
  EXPECT_EQ(bar[2].id, 1503);
  // The PPN: legacy keywords read while converting, the flag restored.
  lines.clear();
  bar.clear();
  ASSERT_EQ(MenuLinesOf(Slice::Of(kMenus + "SHOP.PPN"), &lines), Status::kOk);
  ASSERT_EQ(BuildMenuEntries(lines, &bar), Status::kOk);
  ASSERT_EQ(bar.size(), 2u);
  EXPECT_EQ(bar[0].entries[1].title, "Art\xed" "culos");
  EXPECT_EQ(bar[1].title, "Copias");
  EXPECT_EQ(Str(MenuCommandOf(bar[1].entries[0].id)), "Copy");
  EXPECT_EQ(Word(kCompat) & 16, 0);
}

TEST_F(WindowsTest, BadMenuLinesAreLeftOutAndReported) {
  std::vector<std::string> lines;
  ASSERT_EQ(MenuLinesOf(Slice::Of(kMenus + "BAD.PMT"), &lines), Status::kOk);
  for (int i = 0; i < 205; ++i) lines.push_back("\tMas,ExpEval " + std::to_string(i));
  std::vector<MenuEntry> bar;
  EXPECT_EQ(BuildMenuEntries(lines, &bar), Status::kBadInputData);
  ASSERT_EQ(bar.size(), 1u);
  EXPECT_EQ(bar[0].entries[0].title, "Bien");
  EXPECT_EQ(bar[0].entries.size(), 200u);  // commands past the 200th are refused
  std::vector<std::string> none;
  EXPECT_EQ(MenuLinesOf(Slice::Of(kMenus + "NONE.PMT"), &none), Status::kFileNotFound);
}

std::string g_ran;
Status RecordRequest(uint32_t code, Slice parameters) {
  g_ran = Str(ProcessName(ProcessNumberOf(code))) + " " + Str(parameters);
  return Status::kOk;
}

TEST_F(WindowsTest, MenuPickRunsItsRequestAndCloseIsRefusedWithTwoWindows) {
  SetProcessDispatcher(&RecordRequest);
  g_ran.clear();
  std::vector<MenuEntry> bar;
  ASSERT_EQ(BuildMainMenu(Slice::Of(kMenus + "SHOP.PMT"), &bar), Status::kOk);
  EXPECT_EQ(bar.back().title, "Help");  // message 0120 on every main window
  WindowRequest r;
  r.title = "Tessaly";
  r.menu = &bar;
  r.main_window = true;
  r.action = &MainMenuAction;
  Status s;
  WindowId m = Windows().OpenWindow(r, &s);
  ASSERT_NE(m, kNoWindow);
  auto* main = qobject_cast<QMainWindow*>(WindowWidget(m));
  QMenu* files = main->menuBar()->actions()[0]->menu();
  ASSERT_NE(files, nullptr);
  Later([&] {
    files->actions()[0]->trigger();
    EXPECT_EQ(g_ran, "MantMain CLIENTES");
    WindowRequest other;
    other.kind = 2;
    Status st;
    WindowId second = Windows().OpenWindow(other, &st);
    main->close();  // two windows: refused with 0032
    EXPECT_EQ(Windows().WindowCount(), 2);
    ASSERT_FALSE(recorded_.boxes.empty());
    EXPECT_NE(recorded_.boxes.back().text.find("2 Windows"), std::string::npos);
    (void)Windows().CloseWindow(second, Status::kOk);
    recorded_.Answer(BoxButton::kYes);  // 0033 asked: yes
    main->close();
  });
  (void)Windows().RunWindow(m);
  EXPECT_EQ(Windows().WindowCount(), 0);
  SetProcessDispatcher(nullptr);
}

TEST_F(WindowsTest, ScreenshotsOfTheMainWindowAndAFieldWindow) {
  std::vector<MenuEntry> bar;
  std::string pmt = std::string(TESSALY_FIXTURES) + "/../../apps/tessaly/P1MENU.PMT";
  (void)BuildMainMenu(Slice::Of(pmt), &bar);
  WindowRequest r;
  r.title = "Tessaly";
  r.menu = &bar;
  r.main_window = true;
  r.action = &MainMenuAction;
  Status s;
  WindowId m = Windows().OpenWindow(r, &s);
  ASSERT_NE(m, kNoWindow);
  (void)Windows().SetStatusLine(m, "Tessaly");
  WindowWidget(m)->show();
  WindowId w = FieldWindow("'Cliente:':'A6','Nombre:':'A30','Saldo:':'29','Clave:':'P8'");
  (void)ScreenSetField(kMaskTyped, 2, "Ferreter\xed" "a Mart\xed" "nez");
  Later([&] {
    std::string dir = TESSALY_SCREENSHOTS;
    EXPECT_TRUE(WindowWidget(m)->grab().save(QString::fromStdString(dir + "/main_window.png")));
    EXPECT_TRUE(WindowWidget(w)->grab().save(QString::fromStdString(dir + "/field_window.png")));
    (void)Windows().CloseWindow(w, Status::kOk);
  }, 100);
  (void)Windows().RunWindow(w);
}

}  // namespace
}  // namespace tessaly

int main(int argc, char** argv) {
  // Window tests never need a display, also when the test list is gathered.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

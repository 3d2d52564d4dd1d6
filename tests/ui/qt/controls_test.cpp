// Buttons, list views, combo boxes, the picture, keys of the field controls
// and the scroll bars of the Qt window layer, on the offscreen platform.

#include <gtest/gtest.h>

#include <QtCore/QTemporaryDir>
#include <QtCore/QTimer>
#include <QtGui/QImage>
#include <QtTest/QTest>
#include <QtWidgets/QApplication>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QHeaderView>
#include <QtWidgets/QLabel>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QScrollArea>
#include <QtWidgets/QScrollBar>
#include <QtWidgets/QTableWidget>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/hooks.h"
#include "core/runtime_arrays.h"
#include "core/startup.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "expr/variables.h"
#include "ui/choose.h"
#include "ui/qt/qt_windows.h"
#include "ui/qt/qt_windows_internal.h"
#include "ui/screen.h"
#include "qt_fixture.h"

namespace tessaly {
namespace {

constexpr int kConfirm = 25 | (100 << 8);

std::vector<int> g_actions;
Status RecordAction(void*, WindowId, int action) {
  g_actions.push_back(action);
  return Status::kOk;
}

bool Seen(int action) {
  return std::find(g_actions.begin(), g_actions.end(), action) != g_actions.end();
}

class ControlsTest : public QtWindowTest {
 protected:
  void SetUp() override {
    QtWindowTest::SetUp();
    g_actions.clear();
  }
  void TearDown() override {
    Windows().ListViewDestroy(-1);
    Windows().ComboDestroy(-1);
    QtWindowTest::TearDown();
  }

  // A window whose actions are recorded in g_actions.
  WindowId Recorded(int columns = 40, int rows = 10, int kind = 5) {
    WindowRequest r;
    r.kind = kind;
    r.title = "Prueba";
    r.columns = columns;
    r.rows = rows;
    r.action = &RecordAction;
    Status s;
    WindowId w = Windows().OpenWindow(r, &s);
    EXPECT_NE(w, kNoWindow) << s.code();
    return w;
  }

  // An edit control of field 1 in a recorded window, shown and focused.
  QLineEdit* FocusedEdit(WindowId w) {
    FieldControlSpec spec;
    spec.field = 1;
    spec.row = 1;
    spec.column = 10;
    spec.shown_width = 20;
    spec.display_width = 20;
    EXPECT_EQ(Windows().CreateFieldControl(w, spec), Status::kOk);
    auto* edit = qobject_cast<QLineEdit*>(FieldWidget(w, 1));
    WindowWidget(w)->show();
    edit->setFocus();
    return edit;
  }

  QTableWidget* Table(int view) { return qobject_cast<QTableWidget*>(ListViewWidget(view)); }
};

TEST_F(ControlsTest, ButtonsRouteTheirIdentifierAndSitFromTheFarEdges) {
  WindowId w = Recorded(40, 10);
  ButtonSpec ok{3100, "Ok", -1, -14, 12, true};
  ButtonSpec menu{1503, "Ventas", 2, 3, 10, false};
  ASSERT_EQ(Windows().CreateButton(w, ok), Status::kOk);
  ASSERT_EQ(Windows().CreateButton(w, menu), Status::kOk);
  auto* button = WindowWidget(w)->findChild<QPushButton*>("button3100");
  ASSERT_NE(button, nullptr);
  CellMetrics m = CurrentCellMetrics();
  EXPECT_EQ(button->x(), CellX(40 - 14 + 1));
  EXPECT_EQ(button->y(), CellY(10) - m.height / 2);
  EXPECT_EQ(button->width(), CellsWidth(12));
  EXPECT_TRUE(Windows().HasControl(w, 3100));
  EXPECT_FALSE(Windows().HasControl(w, 3101));
  EXPECT_EQ(Windows().SetControlText(w, 3100, "Aceptar"), Status::kOk);
  EXPECT_EQ(button->text(), "Aceptar");
  EXPECT_EQ(Windows().SetControlText(w, 3101, "x"), Status::kWindowsControlError);

  SetWord(kLastKey, 0);
  QTest::mouseClick(button, Qt::LeftButton);
  QTest::mouseClick(WindowWidget(w)->findChild<QPushButton*>("button1503"), Qt::LeftButton);
  EXPECT_EQ(g_actions, (std::vector<int>{kConfirm, 16 | (3 << 8)}));
  EXPECT_EQ(Word(kLastKey), 4);
  void* context = &g_actions;
  EXPECT_EQ(Windows().WindowAction(w, &context), &RecordAction);
  EXPECT_EQ(context, nullptr);
}

TEST_F(ControlsTest, ListViewIsFilledSelectedConfirmedAndGivesItsSlotBack) {
  WindowId w = Recorded(50, 12);
  int v = Windows().ListViewCreate(w, ListViewSpec{1, 1, 40, 8});
  ASSERT_EQ(v, 0);
  ASSERT_EQ(Windows().ListViewAddColumn(v, "Cliente", 20, 'A'), Status::kOk);
  ASSERT_EQ(Windows().ListViewAddColumn(v, "Saldo", 10, '2'), Status::kOk);
  const char* names[] = {
      "Ferreter\xed"
      "a",
      "Panader\xed"
      "a",
      "Taller"};
  for (int row = 0; row < 3; ++row) {
    ASSERT_EQ(Windows().ListViewSetItem(v, row, 0, Slice(names[row])), Status::kOk);
    ASSERT_EQ(Windows().ListViewSetItem(v, row, 1, "12,50"), Status::kOk);
  }
  EXPECT_EQ(Windows().ListViewSetItem(v, 5, 0, "Sexta"), Status::kOk);  // rows grow
  EXPECT_EQ(Windows().ListViewRowCount(v), 6);
  {
    AreaMark mark;
    EXPECT_EQ(Windows().ListViewItem(v, 1, 0).str(),
              "Panader\xed"
              "a");
    EXPECT_TRUE(Windows().ListViewItem(v, 9, 0).empty());
  }
  QTableWidget* table = Table(v);
  ASSERT_NE(table, nullptr);
  EXPECT_TRUE(table->item(0, 1)->textAlignment() & Qt::AlignRight);
  EXPECT_FALSE(table->item(0, 0)->textAlignment() & Qt::AlignRight);
  EXPECT_EQ(table->palette().color(QPalette::Base), QColor(224, 224, 255));
  EXPECT_TRUE(table->showGrid());
  EXPECT_EQ(table->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_TRUE(table->horizontalHeader()->sectionsMovable());
  EXPECT_TRUE(Windows().HasControl(w, 3200 + v));

  EXPECT_EQ(Windows().ListViewSelected(v), -1);
  ASSERT_EQ(Windows().ListViewSelect(v, 1, true), Status::kOk);
  EXPECT_EQ(Windows().ListViewSelected(v), 1);
  EXPECT_EQ(Windows().ListViewSelect(v, 1, false), Status::kOk);
  EXPECT_EQ(Windows().ListViewSelected(v), -1);
  EXPECT_EQ(Windows().ListViewSelect(v, 9, true), Status::kWindowsControlError);

  WindowWidget(w)->show();
  ASSERT_EQ(Windows().ListViewShow(v), Status::kOk);
  QRect cell = table->visualItemRect(table->item(2, 0));
  // A double click is a press and release, then the second press.
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
  QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_EQ(Windows().ListViewSelected(v), 2);
  EXPECT_TRUE(Seen(kConfirm));
  g_actions.clear();
  SetWord(kLastKey, 0);
  QTest::keyClick(table, Qt::Key_Return);
  EXPECT_EQ(g_actions, std::vector<int>{94});
  EXPECT_EQ(Word(kLastKey), 4);
  QTest::keyClick(table, Qt::Key_Escape);
  EXPECT_EQ(g_actions.back(), 21);

  EXPECT_EQ(Windows().ListViewClear(v), Status::kOk);
  EXPECT_EQ(Windows().ListViewRowCount(v), 0);
  EXPECT_EQ(table->columnCount(), 2);
  // Four slots: a fifth view has none until one is destroyed.
  for (int i = 1; i < 4; ++i) EXPECT_EQ(Windows().ListViewCreate(w, ListViewSpec{}), i);
  EXPECT_EQ(Windows().ListViewCreate(w, ListViewSpec{}), -1);
  Windows().ListViewDestroy(2);
  EXPECT_FALSE(Windows().HasControl(w, 3202));
  EXPECT_EQ(Windows().ListViewCreate(w, ListViewSpec{}), 2);
  Windows().ListViewDestroy(-1);
  EXPECT_EQ(Windows().ListViewRowCount(0), 0);
  EXPECT_EQ(Windows().ListViewCreate(w, ListViewSpec{}), 0);
}

TEST_F(ControlsTest, ListViewScrollsByLines) {
  WindowId w = Recorded(50, 12);
  int v = Windows().ListViewCreate(w, ListViewSpec{1, 1, 40, 5});
  ASSERT_EQ(Windows().ListViewAddColumn(v, "N", 10, 'N'), Status::kOk);
  for (int row = 0; row < 40; ++row) {
    ASSERT_EQ(Windows().ListViewSetItem(v, row, 0, Slice::Of(std::to_string(row))), Status::kOk);
  }
  WindowWidget(w)->show();
  QApplication::processEvents();
  ASSERT_EQ(Windows().ListViewScroll(v, 3), Status::kOk);
  EXPECT_EQ(Table(v)->verticalScrollBar()->value(), 3);
  ASSERT_EQ(Windows().ListViewScroll(v, -1), Status::kOk);
  EXPECT_EQ(Table(v)->verticalScrollBar()->value(), 2);
}

TEST_F(ControlsTest, ComboBoxesTakeTrimmedItemsEnterConfirmsEscCancels) {
  WindowId w = Recorded(50, 12);
  int drop = Windows().ComboCreate(w, ComboSpec{2, 5, " Uno , Dos,Tres largo", true});
  int simple = Windows().ComboCreate(w, ComboSpec{4, 5, "A,B", false});
  ASSERT_EQ(drop, 0);
  ASSERT_EQ(simple, 1);
  auto* box = qobject_cast<QComboBox*>(ComboWidget(drop));
  auto* list = qobject_cast<QListWidget*>(ComboWidget(simple));
  ASSERT_NE(box, nullptr);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(box->itemText(0), "Uno");
  EXPECT_EQ(box->itemText(1), "Dos");
  CellMetrics m = CurrentCellMetrics();
  EXPECT_EQ(box->width(), CellsWidth(10) + 40);  // "Tres largo" and the drop-down's arrow
  EXPECT_EQ(list->width(), CellsWidth(1) + 20);
  EXPECT_EQ(list->height(), 2 * m.height + 2 * list->frameWidth());  // one line per item
  EXPECT_EQ(box->maxVisibleItems(), 5);
  EXPECT_EQ(Windows().ComboSelection(drop), -1);
  EXPECT_EQ(Windows().ComboSelect(drop, 2), Status::kOk);
  EXPECT_EQ(Windows().ComboSelection(drop), 2);
  EXPECT_EQ(Windows().ComboSelect(drop, 3), Status::kWindowsControlError);
  EXPECT_EQ(Windows().ComboSelect(simple, 1), Status::kOk);
  EXPECT_EQ(Windows().ComboSelection(simple), 1);

  WindowWidget(w)->show();
  box->setFocus();
  QTest::keyClick(box, Qt::Key_Return);
  QTest::keyClick(list, Qt::Key_Return);
  QTest::keyClick(box, Qt::Key_Escape);
  EXPECT_EQ(g_actions, (std::vector<int>{kConfirm, kConfirm, 21}));
  // Eighty slots.
  for (int k = 2; k < 80; ++k) ASSERT_EQ(Windows().ComboCreate(w, ComboSpec{}), k);
  EXPECT_EQ(Windows().ComboCreate(w, ComboSpec{}), -1);
  Windows().ComboDestroy(7);
  EXPECT_EQ(Windows().ComboCreate(w, ComboSpec{}), 7);
}

// ---- Keys of a field control ----------------------------------------------------------

TEST_F(ControlsTest, ScannedCodeGivesOneScanActionAndIsTyped) {
  WindowId w = Recorded();
  QLineEdit* edit = FocusedEdit(w);
  QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(QChar(29)), Qt::NoModifier);
  QTest::keyClicks(edit, "84");
  QTest::keyPress(edit, Qt::Key_Shift);  // a capital letter: Shift alone has no character
  QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_A, QStringLiteral("A"), Qt::ShiftModifier);
  QTest::keyRelease(edit, Qt::Key_Shift);
  QTest::keyClicks(edit, "12");
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(g_actions, std::vector<int>{24});
  EXPECT_EQ(edit->text(), "84A12");
  {
    AreaMark mark;
    EXPECT_EQ(strtab::Top(strtab::kProcedureResults).str(), "84A12");
  }
  // The code has ended: Enter is a key of the screen again.
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(g_actions, (std::vector<int>{24, 1}));
}

struct KeyCase {
  int map;
  int compat;
  Qt::Key key;
  int action;  // 0: none
};

TEST_F(ControlsTest, KeyMapsAndPlainControls) {
  const KeyCase cases[] = {
      {0, 0, Qt::Key_F4, 25 | (12 << 8)},
      {1, 0, Qt::Key_F4, 0},  // F4 does nothing under map 1
      {1, 0, Qt::Key_F3, 25 | (15 << 8)},
      {0, 0, Qt::Key_Tab, 1},
      {0, 512, Qt::Key_F4, 0},  // plain controls translate nothing
      {0, 512, Qt::Key_Return, 0},
  };
  WindowId w = Recorded();
  QLineEdit* edit = FocusedEdit(w);
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.map) + "/" + std::to_string(c.compat) + "/" +
                 std::to_string(c.key));
    SetWord(kKeyMap, static_cast<uint16_t>(c.map));
    SetWord(kCompat, static_cast<uint16_t>(c.compat));
    g_actions.clear();
    QTest::keyClick(edit, c.key);
    EXPECT_EQ(g_actions, c.action == 0 ? std::vector<int>{} : std::vector<int>{c.action});
  }
  SetWord(kCompat, 0);
  SetWord(kKeyMap, 0);
}

TEST_F(ControlsTest, PrivateMessagesDispatchTheirActions) {
  WindowId w = Recorded();
  (void)FocusedEdit(w);
  g_actions.clear();
  EXPECT_TRUE(PostPortData(w, 7));
  EXPECT_TRUE(PostFieldWindowRequest(w, 1));
  EXPECT_FALSE(PostFieldWindowRequest(w, 2));
  QApplication::processEvents();
  EXPECT_TRUE(Seen(23 | (7 << 8)));
  EXPECT_TRUE(Seen(18));
}

// ---- Windows ----------------------------------------------------------------------------

TEST_F(ControlsTest, EscInAWindowWithoutAFocusedControlClosesIt) {
  WindowRequest r;
  r.kind = 5;
  r.columns = 30;
  r.rows = 4;
  Status s;
  WindowId w = Windows().OpenWindow(r, &s);
  ASSERT_NE(w, kNoWindow);
  QTimer::singleShot(0, [w] { QTest::keyClick(WindowWidget(w), Qt::Key_Escape); });
  EXPECT_EQ(Windows().RunWindow(w), Status::kUserCanceled);
  EXPECT_EQ(Windows().WindowCount(), 0);
}

TEST_F(ControlsTest, FirstFocusOfAWindowWithoutAScreenIsAction95) {
  WindowId w = Recorded();
  QWidget* widget = WindowWidget(w);
  widget->show();
  widget->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(widget));
  QApplication::processEvents();
  EXPECT_EQ(std::count(g_actions.begin(), g_actions.end(), 95), 1);
}

TEST_F(ControlsTest, AScreenWiderThanTheWorkAreaScrollsByCells) {
  ASSERT_EQ(strtab::Set(strtab::kEnvironment, 1, "tessaly /SCRWID=300 /SCRHIG=400"), Status::kOk);
  bool configured = false;
  EXPECT_EQ(WorkArea(&configured).width(), 300);
  EXPECT_TRUE(configured);
  WindowId w = Recorded(80, 4, 11);  // kind 11 opens maximized, except on a configured screen
  auto* window = dynamic_cast<CellWindow*>(WindowWidget(w));
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->width(), 300);
  window->show();
  QApplication::processEvents();
  EXPECT_FALSE(window->isMaximized());
  QScrollBar* bar = window->scrollArea()->horizontalScrollBar();
  EXPECT_TRUE(bar->isVisible());
  EXPECT_FALSE(window->scrollArea()->verticalScrollBar()->isVisible());
  CellMetrics m = CurrentCellMetrics();
  bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(bar->value(), m.width);
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(bar->value(), m.width + 2);
  ASSERT_EQ(strtab::Set(strtab::kEnvironment, 1, ""), Status::kOk);
}

TEST_F(ControlsTest, APictureThatCannotBeLoadedKeepsTheOneShown) {
  WindowId w = Recorded(40, 10);
  WindowWidget(w)->show();
  QApplication::processEvents();
  ASSERT_EQ(Windows().ShowPicture(w, kLogoPicture), Status::kOk);
  auto* picture = qobject_cast<QLabel*>(PictureWidget());
  ASSERT_NE(picture, nullptr);
  QSize client = dynamic_cast<CellWindow*>(WindowWidget(w))->scrollArea()->viewport()->size();
  EXPECT_EQ(picture->geometry(), QRect(3, 3, client.width() - 6, client.height() - 6));
  qint64 logo = picture->pixmap().cacheKey();
  std::string shots = TESSALY_SCREENSHOTS;
  EXPECT_TRUE(WindowWidget(w)->grab().save(QString::fromStdString(shots + "/logo_window.png")));

  QTemporaryDir dir;
  std::string good = (dir.path() + "/partner.png").toStdString();
  std::string bad = (dir.path() + "/damaged.png").toStdString();
  QImage image(40, 20, QImage::Format_RGB32);
  image.fill(Qt::red);
  ASSERT_TRUE(image.save(QString::fromStdString(good)));
  std::ofstream(bad) << "not a picture";
  const char* refused[] = {"/no/such/partner.png", "#7", ""};
  for (const char* name : refused) {
    EXPECT_EQ(Windows().ShowPicture(w, Slice(name)), Status::kBadInputData) << name;
    EXPECT_EQ(picture->pixmap().cacheKey(), logo);
  }
  ASSERT_EQ(Windows().ShowPicture(w, Slice::Of(good)), Status::kOk);
  EXPECT_EQ(picture->pixmap().size(), QSize(40, 20));
  EXPECT_EQ(Windows().ShowPicture(w, Slice::Of(bad)), Status::kBadInputData);
  EXPECT_EQ(picture->pixmap().size(), QSize(40, 20));
}

TEST_F(ControlsTest, FontTable) {
  ClearFonts();
  ASSERT_EQ(RegisterWindowFont(24, 12, 0, "Lucida Console"), 1);
  int bold = RegisterWindowFont(-1, -1, 1, "Mono");
  ASSERT_EQ(bold, 2);
  CellMetrics m = CurrentCellMetrics();
  EXPECT_EQ(GetFont(bold)->height, m.height);
  EXPECT_EQ(GetFont(bold)->width, m.width);
  EXPECT_EQ(GetFont(bold)->weight, 700);
  EXPECT_EQ(GetFont(1)->weight, 400);
  for (int i = 3; i <= 6; ++i) EXPECT_EQ(RegisterWindowFont(20, 10, 0, "Mono"), i);
  EXPECT_EQ(RegisterWindowFont(20, 10, 0, "Mono"), 0);  // a seventh is ignored
  EXPECT_EQ(SelectFontEntry(9), Status::kBadInputData);
  ASSERT_EQ(SelectFontEntry(bold), Status::kOk);
  EXPECT_TRUE(WindowFont().bold());
  QLabel label;
  EXPECT_EQ(SetControlFont(&label, 2), Status::kOk);
  EXPECT_TRUE(label.font().bold());
  EXPECT_EQ(SetControlFont(&label, 0), Status::kOk);
  EXPECT_EQ(SetControlFont(&label, 1), Status::kBadInputData);
  ASSERT_EQ(SelectFontEntry(1), Status::kOk);
  ClearFonts();
}

// ---- Selection windows ------------------------------------------------------------------

TEST_F(ControlsTest, SelectionWindowPicksWithEnterAndLeavesScreenshots) {
  // A window below with a list view, a combo box and a button, as a
  // maintenance window would have them.
  WindowId below = Recorded(50, 12, 2);
  int v = Windows().ListViewCreate(below, ListViewSpec{1, 1, 30, 8});
  (void)Windows().ListViewAddColumn(v, "Cliente", 18, 'A');
  (void)Windows().ListViewAddColumn(v, "Saldo", 9, '2');
  const char* rows[][2] = {{"Ferreter\xed"
                            "a Mart\xednez",
                            "1.250,00"},
                           {"Panader\xed"
                            "a Sol",
                            "87,40"},
                           {"Taller Vigo", "0,00"}};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 2; ++c) (void)Windows().ListViewSetItem(v, r, c, Slice(rows[r][c]));
  }
  (void)Windows().ListViewSelect(v, 1, true);
  (void)Windows().ComboCreate(below, ComboSpec{2, 33, "Efectivo,Tarjeta,Transferencia", false});
  (void)Windows().ComboCreate(below, ComboSpec{7, 33,
                                               "Contado,30 d\xed"
                                               "as,60 d\xed"
                                               "as",
                                               true});
  (void)Windows().CreateButton(below, ButtonSpec{3100, "Ok", -1, -14, 12, true});
  WindowWidget(below)->show();
  QApplication::processEvents();
  std::string dir = TESSALY_SCREENSHOTS;
  EXPECT_TRUE(
      WindowWidget(below)->grab().save(QString::fromStdString(dir + "/list_and_combo_window.png")));
  QTimer::singleShot(100, [dir] {
    QWidget* top = WindowWidget(Windows().TopWindow());
    auto* table = top->findChild<QTableWidget*>();
    ASSERT_NE(table, nullptr);
    table->selectRow(1);
    EXPECT_TRUE(top->grab().save(QString::fromStdString(dir + "/selection_window.png")));
    QTest::keyClick(table, Qt::Key_Return);
  });
  EXPECT_EQ(ChooseItem("Font", "24;12;;Lucida Console,20;10;BOLD;Mono,16;8;;Sans"), 2);
  EXPECT_EQ(Windows().WindowCount(), 1);
  EXPECT_TRUE(WindowEnabled(below));
}

}  // namespace
}  // namespace tessaly

// The data capture window on the offscreen platform, used with the keyboard
// and the mouse as a person would.

#include <gtest/gtest.h>

#include <QtCore/QTimer>
#include <QtTest/QTest>
#include <QtWidgets/QApplication>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QPushButton>
#include <functional>
#include <string>

#include "core/environment_table.h"
#include "core/flags.h"
#include "core/process.h"
#include "core/hooks.h"
#include "core/message_box.h"
#include "core/runtime_arrays.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "expr/evaluator.h"
#include "expr/variables.h"
#include "ui/accept.h"
#include "ui/qt/qt_windows.h"
#include "ui/screen.h"
#include "qt_fixture.h"

namespace tessaly {
namespace {

std::string Eval(const char* expression) {
  AreaMark mark;
  Slice v = EvaluateToText(Slice(expression));
  return v.ok() ? v.str() : "<" + std::to_string(v.status().code()) + ">";
}

class AcceptQtTest : public QtWindowTest {
 protected:
  static QLineEdit* Edit(int field) {
    return qobject_cast<QLineEdit*>(FieldWidget(Windows().TopWindow(), field));
  }
  // The control the input is in: the current field's.
  static QWidget* Focused() {
    ScreenInstance* inst = ScreenCurrentInstance();
    return inst != nullptr ? FieldWidget(Windows().TopWindow(), inst->current_field) : nullptr;
  }
  // Types into the current field and presses a key there.
  static void Key(const char* text, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* focus = Focused();
    ASSERT_NE(focus, nullptr);
    if (*text != '\0') QTest::keyClicks(focus, text);
    QTest::keyClick(focus, key, modifiers);
  }
};

constexpr char kList[] = "'Nombre:':'A12':NOM$,'Kilos:':'N4':KG#,'Nota:':'A6':NOTA$";

TEST_F(AcceptQtTest, TypingAndEnterOnTheLastFieldConfirmsEveryField) {
  int width = 0;
  Later([&] {
    WindowId w = Windows().TopWindow();
    ASSERT_NE(Edit(1), nullptr);
    EXPECT_EQ(Focused(), Edit(1)) << "the first field has the input";
    width = WindowWidget(w)->width();
    Key("Rosa", Qt::Key_Return);
    Key("12", Qt::Key_Tab);
    (void)WindowWidget(w)->grab().save(QString(TESSALY_SCREENSHOTS) + "/capture_window.png");
    Key("ok", Qt::Key_Return);
  });
  AcceptResult r = AcceptAndStore("Pesada", kList);
  ASSERT_EQ(r.status, Status::kOk) << GetDetail().str();
  EXPECT_EQ(r.last_key, 0);
  EXPECT_EQ(Eval("NOM$"), "Rosa");
  EXPECT_EQ(Eval("KG#"), "12");
  EXPECT_EQ(Eval("NOTA$"), "ok");
  EXPECT_EQ(Windows().WindowCount(), 0);
  EXPECT_EQ(ScreenInstanceCount(), 0);
  // At least 25 columns and the two margin columns.
  EXPECT_GE(width, CellsWidth(27));
}

TEST_F(AcceptQtTest, KeysThatDoNotConfirmLeaveEverythingAsItWas) {
  struct Case {
    const char* name;
    std::function<void()> user;
  };
  const Case cases[] = {
      {"Esc after typing", [] { Key("Luis", Qt::Key_Escape); }},
      {"Shift+Tab, then the frame closed",
       [] {
         Key("Luis", Qt::Key_Return);
         Key("7", Qt::Key_Backtab);
         WindowWidget(Windows().TopWindow())->close();
       }},
      {"PgUp, then the frame closed",
       [] {
         Key("Luis", Qt::Key_PageUp);
         WindowWidget(Windows().TopWindow())->close();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(strtab::Set(kLastValuesTable, kLastValuesSlot, "'Ana','3','x'"), Status::kOk);
    {
      AreaMark mark;
      ASSERT_FALSE(Evaluate("NOM$='antes'").failed());
    }
    Later(c.user);
    AcceptResult r = AcceptAndStore("", kList);
    EXPECT_EQ(r.status, Status::kUserCanceled);
    EXPECT_EQ(r.last_key, 3);
    EXPECT_EQ(Eval("NOM$"), "antes");
    EXPECT_EQ(strtab::Get(kLastValuesTable, kLastValuesSlot).str(), "'Ana','3','x'");
    EXPECT_EQ(Windows().WindowCount(), 0);
    EXPECT_EQ(ScreenInstanceCount(), 0);
  }
}

TEST_F(AcceptQtTest, TheOkButtonTakesWhatWasTypedAndTheLastValuesAreTheDefaults) {
  ASSERT_EQ(strtab::Set(kLastValuesTable, kLastValuesSlot, "'Ana','3','x'"), Status::kOk);
  Later([] {
    EXPECT_EQ(Edit(1)->text().toStdString(), "Ana");
    EXPECT_EQ(Edit(3)->text().toStdString(), "x");
    Key("", Qt::Key_Tab);
    QTest::keyClicks(Focused(), "9");
    QPushButton* ok = nullptr;
    for (QPushButton* b : WindowWidget(Windows().TopWindow())->findChildren<QPushButton*>()) {
      if (b->text() == "Ok") ok = b;
    }
    ASSERT_NE(ok, nullptr);
    QTest::mouseClick(ok, Qt::LeftButton);
  });
  AcceptResult r = AcceptAndStore("", kList);
  ASSERT_EQ(r.status, Status::kOk) << GetDetail().str();
  EXPECT_EQ(Eval("NOM$"), "Ana");
  EXPECT_EQ(Eval("KG#"), "9") << "the text of a field entered is selected, so typing replaces it";
  EXPECT_EQ(r.values, "'Ana','   9','x'");
}

TEST_F(AcceptQtTest, TheDemoCompanyCaptureShowsTheCompanyAndEscChangesNothing) {
  const std::string app = std::string(TESSALY_FIXTURES) + "/../../apps/tessaly";
  ASSERT_EQ(SetEnvironment(kEnvDefaultFolder, Slice::Of(app)), Status::kOk);
  {
    AreaMark mark;
    ASSERT_FALSE(Evaluate("EMPRESA$='Comercial Tessaly, S.L.';NIFEMP$='B12345674'").failed());
  }
  Later([] {
    WindowId w = Windows().TopWindow();
    ASSERT_NE(Edit(1), nullptr);
    EXPECT_EQ(Edit(1)->text().toStdString(), "Comercial Tessaly, S.L.");
    EXPECT_EQ(Edit(2)->text().toStdString(), "B12345674");
    (void)WindowWidget(w)->grab().save(QString(TESSALY_SCREENSHOTS) + "/company_capture.png");
    Key("Otra", Qt::Key_Escape);
  }, 50);
  ASSERT_EQ(AcceptRunProcess(kProcAcceptRun, "TYEMPR,1,56,6,0,,0"), Status::kOk)
      << GetDetail().str();
  EXPECT_EQ(Eval("EMPRESA$"), "Comercial Tessaly, S.L.");
  EXPECT_EQ(Windows().WindowCount(), 0);
  EXPECT_EQ(ScreenInstanceCount(), 0);
}

}  // namespace
}  // namespace tessaly

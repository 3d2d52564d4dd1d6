// The file services' dialogs on the desktop: folder and file dialogs
// answered as a user would, the selection window for an item, the progress
// dialog and its Cancel, the answers of a batch INPUT file, and the Copy,
// Reorg and STATSTEPS paths from start to end.

#include "data/choices.h"

#include <gtest/gtest.h>

#include <QtCore/QTimer>
#include <QtGui/QFileSystemModel>
#include <QtTest/QTest>
#include <QtWidgets/QApplication>
#include <QtWidgets/QFileDialog>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QProgressDialog>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QTableWidget>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/message_box.h"
#include "core/process.h"
#include "core/startup_services.h"
#include "core/string_area.h"
#include "data/backup.h"
#include "platform/paths.h"
#include "proc/commands.h"
#include "proc/procedures.h"
#include "tests/data/relup_fixture.h"
#include "tests/proc/proc_fixture.h"
#include "ui/qt/qt_choices.h"
#include "ui/qt/qt_windows.h"
#include "ui/screen.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

void InstallDesktop() {
  static int argc = 1;
  static char name[] = "ui_qt_tests";
  static char* argv[] = {name, nullptr};
  InstallQtWindows(&argc, argv);
}

// Runs `act` on the modal widget of type T once it is open and running.
template <typename T>
void WhenOpen(std::function<void(T*)> act) {
  auto* timer = new QTimer();
  auto tries = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, act, tries] {
    auto* widget = qobject_cast<T*>(QApplication::activeModalWidget());
    if (++*tries > 1000) timer->stop();
    if (widget == nullptr || !widget->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(widget);
  });
  timer->start(10);
}

// Types `path` as the dialog's file name and presses Enter, as a user would.
void Choose(QFileDialog* dialog, const std::string& path) {
  auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  ASSERT_NE(name, nullptr);
  name->setText(QString::fromStdString(path));
  QTest::keyClick(name, Qt::Key_Return);
}

// The names a file dialog lists in its folder, sorted.
std::vector<std::string> Listed(QFileDialog* dialog) {
  auto* model = dialog->findChild<QFileSystemModel*>();
  if (model == nullptr) return {};
  QModelIndex folder = model->index(dialog->directory().absolutePath());
  std::vector<std::string> names;
  for (int row = 0; row < model->rowCount(folder); ++row) {
    names.push_back(model->index(row, 0, folder).data().toString().toStdString());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The texts of the progress dialogs shown while it lives.
class ProgressShown : public QObject {
 public:
  ProgressShown() { qApp->installEventFilter(this); }
  ~ProgressShown() override { qApp->removeEventFilter(this); }
  std::vector<std::string> titles;

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    auto* dialog = qobject_cast<QProgressDialog*>(watched);
    if (dialog != nullptr && e->type() == QEvent::Show) {
      titles.push_back(dialog->labelText().toStdString());
    }
    return false;
  }
};

QPushButton* CancelButton(QProgressDialog* dialog) {
  return dialog == nullptr ? nullptr : dialog->findChild<QPushButton*>();
}

class ChoicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallDesktop();
    SetWord(kInHnd, 0);
    char tmpl[] = "/tmp/tessaly_choices_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    SetProgressShowDelay(500);
    if (stream_ != 0) service::CloseInput(stream_);
    SetWord(kInHnd, 0);
    Windows().CloseAllWindows();
    QApplication::processEvents();
    fs::remove_all(dir_);
  }

  std::string Make(const std::string& relative, bool folder) {
    std::string path = dir_ + "/" + relative;
    if (folder) {
      fs::create_directories(path);
    } else {
      std::ofstream(path) << "x";
    }
    return path;
  }
  // The batch INPUT file's lines, as a batch run holds it in `_INHND`.
  void BatchAnswers(const std::string& lines) {
    const std::string path = dir_ + "/answers.txt";
    std::ofstream(path, std::ios::binary) << lines;
    Status s;
    stream_ = service::OpenInput(Slice::Of(path), &s);
    ASSERT_GT(stream_, 0) << s.code();
    SetWord(kInHnd, static_cast<uint16_t>(stream_));
  }
  static std::string Runtime(const std::string& native) { return platform::RuntimeFormOf(native); }

  std::string dir_;
  int stream_ = 0;
};

TEST_F(ChoicesTest, TheDesktopAnswersWhileTheWindowsAreInstalled) {
  EXPECT_TRUE(QtChoicesInstalled());
  EXPECT_EQ(ProgressShowDelay(), 500);
}

// ---- Folders and files ---------------------------------------------------------------------

TEST_F(ChoicesTest, AFolderIsChosenFromTheStartFolderInTheRuntimesForm) {
  // "año 2024": a name the runtime writes in Windows-1252.
  const std::string backups = Make("Backups", true);
  const std::string chosen = Make("Backups/a\xc3\xb1o 2024", true);
  std::string seen_folder, seen_title;
  WhenOpen<QFileDialog>([&](QFileDialog* d) {
    seen_folder = d->directory().absolutePath().toStdString();
    seen_title = d->windowTitle().toStdString();
    Choose(d, chosen);
  });
  AreaMark mark;
  Slice answer = CurrentChoices().ChooseFolder(Slice::Of(Runtime(backups)), "Copias");
  EXPECT_EQ(seen_folder, backups);
  EXPECT_EQ(seen_title, "Copias");
  EXPECT_EQ(answer.str(), Runtime(dir_) + "\\Backups\\a\xf1o 2024");
  EXPECT_EQ(platform::TranslatePath(answer.view()), chosen);
}

TEST_F(ChoicesTest, CancellingOrAMissingStartGivesNoChoiceFromTheNearestFolder) {
  const std::string backups = Make("Backups", true);
  std::string seen_folder;
  WhenOpen<QFileDialog>([&](QFileDialog* d) {
    seen_folder = d->directory().absolutePath().toStdString();
    d->reject();
  });
  AreaMark mark;
  Slice answer = CurrentChoices().ChooseFolder(Slice::Of(Runtime(backups) + "\\host\\db"), Slice());
  EXPECT_TRUE(answer.ok());
  EXPECT_TRUE(answer.empty());
  EXPECT_EQ(seen_folder, backups);
}

TEST_F(ChoicesTest, AFileIsOfferedByItsPatternWithoutRegardToCase) {
  Make("copia", true);
  for (const char* name :
       {"copia/CLIENTES.DIR", "copia/articulos.dir", "copia/CLIENTES.NDX", "copia/notas.txt"}) {
    Make(name, false);
  }
  Make("copia/viejo.DIR", true);  // folders are always offered, to walk into
  std::vector<std::string> listed;
  std::string seen_title;
  WhenOpen<QFileDialog>([&](QFileDialog* d) {
    seen_title = d->windowTitle().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Listed(d).size() >= 3; }, 5000));
    EXPECT_TRUE(d->grab().save(QString(TESSALY_SCREENSHOTS) + "/file_dialog.png"));
    listed = Listed(d);
    Choose(d, dir_ + "/copia/articulos.dir");
  });
  AreaMark mark;
  Slice answer = CurrentChoices().ChooseFile(Slice::Of(Runtime(dir_ + "/copia")), "*.DIR", "");
  EXPECT_EQ(listed, (std::vector<std::string>{"CLIENTES.DIR", "articulos.dir", "viejo.DIR"}));
  EXPECT_EQ(seen_title, "Choose Selection");
  EXPECT_EQ(answer.str(), Runtime(dir_) + "\\copia\\articulos.dir");
}

TEST_F(ChoicesTest, ANameTheRuntimeCannotWriteIsRefusedAndTheDialogStays) {
  struct Case {
    const char* name;
    bool folder;
  };
  const Case cases[] = {
      {"\xe6\x97\xa5\xe6\x9c\xac", true},  // outside Windows-1252
      {"copia.", true},                    // the runtime drops a trailing dot
      {"a\\b.DIR", false},                 // '\' separates the runtime's names
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Make(c.name, c.folder);
    RecordingMessageBoxUi boxes;
    ScopedMessageBoxUi use_boxes(&boxes);
    bool stayed = false;
    WhenOpen<QFileDialog>([&](QFileDialog* d) {
      Choose(d, path);
      stayed = d->isVisible();
      d->reject();
    });
    AreaMark mark;
    Slice answer = c.folder ? CurrentChoices().ChooseFolder(Slice::Of(Runtime(dir_)), "")
                            : CurrentChoices().ChooseFile(Slice::Of(Runtime(dir_)), "*.DIR", "");
    EXPECT_TRUE(stayed);
    EXPECT_TRUE(answer.empty());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text.rfind("File not found:", 0), 0u) << boxes.boxes[0].text;
  }
}

// ---- Items ------------------------------------------------------------------------------

TEST_F(ChoicesTest, AnItemIsPickedInTheSelectionWindowWithTheKeyboard) {
  struct Case {
    int key;
    int row;
    int expected;
  };
  for (const Case& c : {Case{Qt::Key_Return, 2, 3}, Case{Qt::Key_Escape, 1, 0}}) {
    QTimer::singleShot(50, [c] {
      QWidget* top = WindowWidget(Windows().TopWindow());
      ASSERT_NE(top, nullptr);
      auto* table = top->findChild<QTableWidget*>();
      ASSERT_NE(table, nullptr);
      EXPECT_EQ(top->windowTitle().toStdString(), "Table Selection");
      table->selectRow(c.row);
      QTest::keyClick(table, static_cast<Qt::Key>(c.key));
    });
    EXPECT_EQ(CurrentChoices().ChooseItem("Table Selection", "clientes,articulos,lineas"),
              c.expected);
    EXPECT_EQ(Windows().WindowCount(), 0);
  }
}

// ---- The batch INPUT file -------------------------------------------------------------------

TEST_F(ChoicesTest, WhileTheBatchInputFileRunsItAnswersAndNoDialogOpens) {
  BatchAnswers("  \"" + Runtime(dir_) + "\\lunes\"  \r\n" + Runtime(dir_) +
               "\\CLIENTES.DIR\r\nARTICULOS\r\n");
  bool dialog = false;
  QTimer::singleShot(0, [&] { dialog = QApplication::activeModalWidget() != nullptr; });
  AreaMark mark;
  EXPECT_EQ(CurrentChoices().ChooseFolder("C:\\", "").str(), Runtime(dir_) + "\\lunes");
  EXPECT_EQ(CurrentChoices().ChooseFile(Slice::Of(Runtime(dir_)), "*.DIR", "").str(),
            Runtime(dir_) + "\\CLIENTES.DIR");
  EXPECT_EQ(CurrentChoices().ChooseItem("", "clientes,articulos"), 2);
  EXPECT_TRUE(CurrentChoices().ChooseFolder("", "").empty()) << "the file has ended";
  QApplication::processEvents();
  EXPECT_FALSE(dialog);
}

// ---- Progress ----------------------------------------------------------------------------------

TEST_F(ChoicesTest, TheProgressDialogAppearsOnlyAfterTheDelayAndFollowsTheSteps) {
  Choices& choices = CurrentChoices();
  SetProgressShowDelay(60000);
  choices.ProgressOpen("Reorganization", 4);
  EXPECT_TRUE(choices.ProgressStep(1, 4));
  QProgressDialog* dialog = ChoicesProgressDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(dialog->isVisible()) << "a quick job does not flash";

  SetProgressShowDelay(0);
  struct Step {
    int64_t done, total;
    int value;
  };
  // A total of 0 is the display's own steps; a part of the work counts its
  // own units; more than done is full.
  const Step steps[] = {{2, 0, 500}, {250, 1000, 250}, {7, 4, 1000}, {3000000000, 6000000000, 500}};
  for (const Step& s : steps) {
    EXPECT_TRUE(choices.ProgressStep(s.done, s.total));
    EXPECT_EQ(dialog->value(), s.value) << s.done << "/" << s.total;
  }
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(dialog->isModal());
  EXPECT_TRUE(dialog->grab().save(QString(TESSALY_SCREENSHOTS) + "/progress_dialog.png"));
  EXPECT_EQ(dialog->windowTitle().toStdString(), "Process in progress.....");
  EXPECT_EQ(dialog->labelText().toStdString(), "Reorganization");
  ASSERT_NE(CancelButton(dialog), nullptr);
  EXPECT_EQ(CancelButton(dialog)->text().toStdString(), "Cancel");

  // A display opened inside shows its text until it closes.
  choices.ProgressOpen("Copia", 0);
  EXPECT_TRUE(choices.ProgressStep(1, 0));
  EXPECT_EQ(dialog->labelText().toStdString(), "Copia");
  EXPECT_EQ(dialog->maximum(), 0) << "no length known: the bar only shows it lives";
  choices.ProgressClose();
  EXPECT_EQ(dialog->labelText().toStdString(), "Reorganization");
  choices.ProgressClose();
  EXPECT_EQ(ChoicesProgressDialog(), nullptr);
  EXPECT_TRUE(choices.ProgressStep(1, 1)) << "a step with nothing open goes on";
}

TEST_F(ChoicesTest, CancelStopsTheWorkWhileTheStepsKeepTheDialogAlive) {
  Choices& choices = CurrentChoices();
  SetProgressShowDelay(0);
  choices.ProgressOpen("Copia", 1000000);
  // The click arrives through the window messages the steps process.
  QTimer::singleShot(100, [] {
    QPushButton* cancel = CancelButton(ChoicesProgressDialog());
    ASSERT_NE(cancel, nullptr);
    QTest::mouseClick(cancel, Qt::LeftButton);
  });
  int64_t done = 0;
  while (done < 1000000 && choices.ProgressStep(++done, 1000000)) QTest::qSleep(1);
  EXPECT_LT(done, 1000000);
  EXPECT_FALSE(choices.ProgressStep(done + 1, 1000000)) << "cancelled stays cancelled";
  EXPECT_FALSE(ChoicesProgressDialog()->isVisible());
  choices.ProgressClose();

  choices.ProgressOpen("Copia", 2);
  EXPECT_TRUE(choices.ProgressStep(1, 2)) << "a new display starts afresh";
  choices.ProgressClose();
}

TEST_F(ChoicesTest, ClosingTheProgressWindowCancelsToo) {
  Choices& choices = CurrentChoices();
  SetProgressShowDelay(0);
  choices.ProgressOpen("Copia", 10);
  ASSERT_TRUE(choices.ProgressStep(1, 10));
  ChoicesProgressDialog()->close();
  EXPECT_FALSE(choices.ProgressStep(2, 10));
  choices.ProgressClose();
}

TEST_F(ChoicesTest, WorkThatCannotStopOffersNoCancelAndIgnoresEscAndClose) {
  Choices& choices = CurrentChoices();
  SetProgressShowDelay(0);
  choices.ProgressOpen("Backup", 10);
  ASSERT_TRUE(choices.ProgressStep(1, 10));
  ASSERT_NE(CancelButton(ChoicesProgressDialog()), nullptr);
  // A reorganisation inside it: no Cancel while it runs.
  {
    ScopedProgress inner("Reorganization", 4, /*can_stop=*/false);
    ASSERT_TRUE(choices.ProgressStep(1, 4));
    QProgressDialog* dialog = ChoicesProgressDialog();
    EXPECT_EQ(CancelButton(dialog), nullptr);
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_TRUE(choices.ProgressStep(2, 4));
    dialog->close();
    EXPECT_TRUE(choices.ProgressStep(3, 4));
    EXPECT_TRUE(ChoicesProgressDialog()->isVisible());
  }
  // Back at the backup, Cancel is offered again.
  EXPECT_TRUE(choices.ProgressStep(2, 10));
  ASSERT_NE(CancelButton(ChoicesProgressDialog()), nullptr);
  choices.ProgressClose();
}

// ---- From start to end
// ---------------------------------------------------------------------------

// The processes Copy and Reorg of a menu pick, on the relational update
// tests' data files.
class FileServicesTest : public RelupFixture {
 protected:
  void SetUp() override {
    RelupFixture::SetUp();
    InstallDesktop();
    use_boxes_ = std::make_unique<ScopedMessageBoxUi>(&boxes_);
    ResetStartupServices();
    InstallBackupProcesses();
    SetWord(kInHnd, 0);
    SetProgressShowDelay(0);
    home_ = fs::current_path();
    fs::create_directories(dir_ + "/work");
    fs::current_path(dir_ + "/work");
  }
  void TearDown() override {
    use_boxes_.reset();
    SetProgressShowDelay(500);
    ClearProcessHandlers();
    Windows().CloseAllWindows();
    QApplication::processEvents();
    fs::current_path(home_);
    RelupFixture::TearDown();
  }

  fs::path home_;
  RecordingMessageBoxUi boxes_;
  std::unique_ptr<ScopedMessageBoxUi> use_boxes_;
};

TEST_F(FileServicesTest, CopyBacksUpIntoTheFolderChosenInTheDialog) {
  OpenAll();
  AddCustomer("C1");
  const std::string target = dir_ + "/copias/lunes";
  fs::create_directories(target);
  std::string seen_folder;
  WhenOpen<QFileDialog>([&](QFileDialog* d) {
    seen_folder = d->directory().absolutePath().toStdString();
    Choose(d, target);
  });
  ASSERT_EQ(RunProcess("Copy 0"), Status::kOk);
  EXPECT_EQ(seen_folder, dir_ + "/work/Backups") << "the dialog starts at the backup folder";
  const std::string records = DataFilePath(kCustomersFile, DataFilePart::kRecords);
  const std::string copy = platform::TranslatePath(platform::RuntimeFormOf(target) + records);
  EXPECT_EQ(ReadFile(copy), ReadFile(platform::TranslatePath(records)));
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].text, "Process Completed Succesfully");

  // Cancelled, it ends as the user asked, without a box.
  WhenOpen<QFileDialog>([](QFileDialog* d) { d->reject(); });
  EXPECT_EQ(RunProcess("Copy 0"), Status::kUserCanceled);
  EXPECT_EQ(boxes_.boxes.size(), 1u);
}

TEST_F(FileServicesTest, ReorgReorganisesTheFilePickedInTheSelectionWindow) {
  OpenAll();
  AddArticle("A1", "5");
  AddArticle("A2", "7");
  ProgressShown shown;
  QTimer::singleShot(50, [] {
    QWidget* top = WindowWidget(Windows().TopWindow());
    ASSERT_NE(top, nullptr);
    auto* table = top->findChild<QTableWidget*>();
    ASSERT_NE(table, nullptr);
    table->selectRow(kArticlesFile - 1);
    QTest::keyClick(table, Qt::Key_Return);
  });
  ASSERT_EQ(RunProcess("Reorg"), Status::kOk);
  EXPECT_EQ(ChoicesProgressDialog(), nullptr);
  EXPECT_EQ(shown.titles, (std::vector<std::string>{"Reorganization"}));
  EXPECT_EQ(Stock("A1"), "5");
  EXPECT_EQ(Stock("A2"), "7");
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].text, "Process Completed Succesfully");
}

// A long procedure under STATSTEPS: Cancel breaks it at its next line.
class ProcedureProgressTest : public ProcedureTest {
 protected:
  void SetUp() override {
    ProcedureTest::SetUp();
    InstallDesktop();
    SetProgressShowDelay(0);
  }
  void TearDown() override {
    SetProgressShowDelay(500);
    ProcedureTest::TearDown();
    ClearProcedureBreak();
  }
};

TEST_F(ProcedureProgressTest, CancelBreaksTheRunAndClosesTheDialog) {
  std::string label;
  QTimer::singleShot(100, [&] {
    QProgressDialog* dialog = ProcedureProgressDialog();
    ASSERT_NE(dialog, nullptr);
    label = dialog->labelText().toStdString();
    QTest::mouseClick(CancelButton(dialog), Qt::LeftButton);
  });
  Status s = RunScript(
      "STATSTEPS 1000,'Facturando'\nN#=0\nDO\n  STATSTEPS\n  N#=N#+1\nLOOP_UNTIL N#>=1000000\n");
  EXPECT_EQ(s, Status::kUserCanceled);
  EXPECT_EQ(label, "Facturando");
  EXPECT_LT(std::stod(Eval("N#")), 1000000);
  EXPECT_EQ(ProcedureProgressDialog(), nullptr) << "the run's cleanup ends the display";
}

}  // namespace
}  // namespace tessaly

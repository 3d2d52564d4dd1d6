// The file services' dialogs on the desktop: folder and file dialogs, the
// selection window for an item, and the progress dialog shared with the
// procedures' STATSTEPS display.

#include "ui/qt/qt_choices.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QFileInfo>
#include <QtCore/QPointer>
#include <QtWidgets/QFileDialog>
#include <QtWidgets/QProgressDialog>
#include <algorithm>
#include <climits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/message_box.h"
#include "core/messages.h"
#include "core/string_area.h"
#include "core/text.h"
#include "data/choices.h"
#include "platform/encoding.h"
#include "platform/paths.h"
#include "proc/commands.h"
#include "proc/procedures.h"
#include "ui/choose.h"
#include "ui/qt/qt_windows.h"
#include "ui/qt/qt_windows_internal.h"
#include "ui/window_layer.h"

namespace tessaly {
namespace {

constexpr int kFileNotFoundMessage = 4;  // "File not found:%s"
constexpr int kInProgressMessage = 16;   // "Process in progress....."
constexpr int kCancelMessage = 20;       // "Cancel"
constexpr int kChooseMessage = 49;       // "Choose Selection"
constexpr int kMessageLimit = 384;
// The bar moves in thousandths: any count of steps fits, and a long job
// repaints it at most a thousand times.
constexpr int kBarRange = 1000;
// Window messages are processed at most this often while work steps.
constexpr int kPumpEveryMs = 20;

int g_show_delay_ms = 500;

// Whether the batch INPUT file is answering the questions.
bool BatchInputRunning() { return Word(kInHnd) != 0; }

// The window the dialogs belong to: the top one of the runtime's stack.
QWidget* TopWidget() {
  return QtWindowsInstalled() ? WindowWidget(Windows().TopWindow()) : nullptr;
}

// ---- Paths ---------------------------------------------------------------------------

// The Linux folder a runtime path names; when it does not exist, its
// nearest existing parent; the current folder when none is given.
QString StartFolder(Slice start) {
  std::string native;
  Slice written = start.ok() ? Unquote(Trim(start)) : Slice();
  if (!written.empty() &&
      platform::ResolvePath(written.view(), platform::Resolve::kExisting, &native) != 0) {
    native = platform::TranslatePath(written.view());
  }
  QDir current = QDir::current();
  QString path = native.empty() ? current.absolutePath()
                                : current.absoluteFilePath(QString::fromStdString(native));
  path = QDir::cleanPath(path);
  while (!QFileInfo(path).isDir() && path != QDir::rootPath()) {
    QString parent = QFileInfo(path).absolutePath();
    if (parent == path) break;
    path = parent;
  }
  return path;
}

// The runtime form of a chosen Linux path; none when the runtime could not
// name it again (a character outside Windows-1252, a '\' or a trailing dot
// or blank inside a name, or a path too long for a text).
std::optional<std::string> RuntimePath(const QString& chosen) {
  std::string native = QDir::cleanPath(chosen).toStdString();
  std::string runtime = platform::RuntimeFormOf(native);
  if (runtime.size() > kMaxTextLength || platform::TranslatePath(runtime) != native) {
    return std::nullopt;
  }
  return runtime;
}

// The toolkit's own file dialog, refusing names the runtime cannot write.
class RuntimeFileDialog : public QFileDialog {
 public:
  RuntimeFileDialog(QWidget* parent, const QString& caption, const QString& folder)
      : QFileDialog(parent, caption, folder) {
    setOption(QFileDialog::DontUseNativeDialog);
    setWindowModality(Qt::ApplicationModal);
  }

  // The chosen path in the runtime's form, on the string area; empty when
  // the dialog was cancelled.
  Slice Run() {
    if (exec() != QDialog::Accepted || selectedFiles().isEmpty()) return Slice();
    std::optional<std::string> runtime = RuntimePath(selectedFiles().first());
    return runtime ? Area().Push(Slice::Of(*runtime)) : Slice();
  }

 protected:
  void accept() override {
    const QStringList files = selectedFiles();
    // A folder typed in a file dialog is only entered; its name does not
    // matter yet.
    bool choosing = fileMode() == QFileDialog::Directory || files.isEmpty() ||
                    !QFileInfo(files.first()).isDir();
    if (choosing && !files.isEmpty() && !RuntimePath(files.first())) {
      AreaMark mark;
      std::string shown = FromQt(QDir::cleanPath(files.first()));
      (void)ShowMessageBox(
          FormatMessage(kMessageLimit, Message(kFileNotFoundMessage), Slice::Of(shown)),
          BoxKind::kWarning);
      return;
    }
    QFileDialog::accept();
  }
};

QString DialogTitle(Slice title) {
  AreaMark mark;
  return ToQt(title.ok() && !Trim(title).empty() ? title : Message(kChooseMessage));
}

// "*.DIR" or "*.DIR;*.NDX" as the dialog's filter: its patterns apart by
// blanks.
QString NameFilter(Slice pattern) {
  std::string text = pattern.ok() ? Trim(pattern).str() : std::string();
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == ';' || c == ','; }, ' ');
  QString filter = ToQt(Slice::Of(text)).simplified();
  return filter.isEmpty() ? QStringLiteral("*") : filter;
}

// ---- Progress ------------------------------------------------------------------------

// One progress dialog, with the levels of the work that opened it: a
// display opened while another is open shows the newer text until it
// closes.
class ProgressWindow {
 public:
  using CancelFn = void (*)();
  explicit ProgressWindow(CancelFn on_cancel = nullptr) : on_cancel_(on_cancel) {}
  ~ProgressWindow() { CloseAll(); }
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  void Open(Slice text, int64_t steps) {
    levels_.push_back(Level{text.ok() ? text.str() : std::string(), steps});
    if (levels_.size() == 1) Create();
    ShowLevel();
  }

  // `done` of `total`; a total of 0 or less is the steps of the display.
  // False once the user cancelled.
  bool Step(int64_t done, int64_t total) {
    if (levels_.empty()) return true;
    if (total <= 0) total = levels_.back().steps;
    if (dialog_ != nullptr && !cancelled_) {
      Move(done, total);
      if (!shown_ && since_open_.elapsed() >= g_show_delay_ms) {
        shown_ = true;
        dialog_->show();
        Pump();
      } else if (since_pump_.elapsed() >= kPumpEveryMs) {
        Pump();
      }
      CheckCancel();
    }
    return !cancelled_;
  }

  // The work of the level opened last cannot be stopped: no Cancel.
  void Unstoppable() {
    if (levels_.empty()) return;
    levels_.back().can_stop = false;
    ShowLevel();
  }

  void Close() {
    if (levels_.empty()) return;
    levels_.pop_back();
    if (levels_.empty()) {
      Destroy();
    } else {
      ShowLevel();
    }
  }

  void CloseAll() {
    levels_.clear();
    Destroy();
  }

  bool open() const { return !levels_.empty(); }
  QProgressDialog* dialog() const { return dialog_.data(); }

 private:
  struct Level {
    std::string text;
    int64_t steps;
    bool can_stop = true;
  };

  void Create() {
    AreaMark mark;
    dialog_ = new QProgressDialog(TopWidget());
    dialog_->setWindowTitle(ToQt(Message(kInProgressMessage)));
    dialog_->setCancelButtonText(ToQt(Message(kCancelMessage)));
    dialog_->setWindowModality(Qt::ApplicationModal);
    dialog_->setAutoReset(false);
    dialog_->setAutoClose(false);
    // The dialog is shown here, after the delay, never by its own timer
    // (which a value at the minimum restarts with the duration).
    dialog_->setValue(0);
    dialog_->setMinimumDuration(INT_MAX);
    dialog_->setMinimumWidth(400);
    QObject::connect(dialog_, &QProgressDialog::canceled, dialog_,
                     [this] { cancel_asked_ = true; });
    cancelled_ = false;
    cancel_asked_ = false;
    has_cancel_ = true;
    shown_ = false;
    value_ = -2;
    since_open_.start();
    since_pump_.start();
  }

  void Destroy() {
    if (dialog_ != nullptr) {
      dialog_->hide();
      delete dialog_.data();
    }
    dialog_ = nullptr;
    shown_ = false;
    cancelled_ = false;
    cancel_asked_ = false;
  }

  void ShowLevel() {
    if (dialog_ == nullptr || levels_.empty()) return;
    dialog_->setLabelText(ToQt(Slice::Of(levels_.back().text)));
    const bool can_stop = levels_.back().can_stop;
    if (can_stop != has_cancel_) {
      if (can_stop) {
        AreaMark mark;
        dialog_->setCancelButtonText(ToQt(Message(kCancelMessage)));
      } else {
        dialog_->setCancelButton(nullptr);
      }
      has_cancel_ = can_stop;
    }
    value_ = -2;
  }

  void Move(int64_t done, int64_t total) {
    int value = -1;  // a job of unknown length: the bar only shows it lives
    if (total > 0) {
      int64_t clamped = std::clamp<int64_t>(done, 0, total);
      value = static_cast<int>(static_cast<long double>(clamped) * kBarRange / total);
    }
    if (value == value_) return;
    if (value < 0) {
      dialog_->setRange(0, 0);
    } else {
      if (value_ < 0) dialog_->setRange(0, kBarRange);
      dialog_->setValue(value);
    }
    value_ = value;
  }

  // Until the dialog is on screen nothing but the work may run: the user's
  // input waits; once it is, the dialog is modal and takes it.
  void Pump() {
    since_pump_.restart();
    if (QCoreApplication::instance() == nullptr) return;
    QCoreApplication::processEvents(shown_ ? QEventLoop::AllEvents
                                           : QEventLoop::ExcludeUserInputEvents);
  }

  void CheckCancel() {
    if (dialog_ == nullptr) {
      // Its window went away with the work still running: it cannot be
      // cancelled any more, and nothing is shown.
      return;
    }
    bool closed = shown_ && !dialog_->isVisible();
    if (!cancel_asked_ && !dialog_->wasCanceled() && !closed) return;
    if (!levels_.back().can_stop) {
      // Esc or the frame's close cannot stop this work: the dialog stays.
      cancel_asked_ = false;
      dialog_->reset();
      if (shown_) dialog_->show();
      value_ = -2;
      return;
    }
    cancelled_ = true;
    dialog_->hide();
    if (on_cancel_ != nullptr) on_cancel_();
  }

  CancelFn on_cancel_;
  std::vector<Level> levels_;
  QPointer<QProgressDialog> dialog_;
  QElapsedTimer since_open_;
  QElapsedTimer since_pump_;
  bool shown_ = false;
  bool cancelled_ = false;
  bool cancel_asked_ = false;
  bool has_cancel_ = true;
  int value_ = -2;
};

// ---- The choices ---------------------------------------------------------------------

class QtChoices final : public Choices {
 public:
  Slice ChooseFolder(Slice start, Slice title) override {
    if (BatchInputRunning()) return headless_.ChooseFolder(start, title);
    AreaMark mark;
    RuntimeFileDialog dialog(TopWidget(), DialogTitle(title), StartFolder(start));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    return mark.Keep(dialog.Run());
  }

  Slice ChooseFile(Slice folder, Slice pattern, Slice title) override {
    if (BatchInputRunning()) return headless_.ChooseFile(folder, pattern, title);
    AreaMark mark;
    RuntimeFileDialog dialog(TopWidget(), DialogTitle(title), StartFolder(folder));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(NameFilter(pattern));
    return mark.Keep(dialog.Run());
  }

  int ChooseItem(Slice title, Slice items) override {
    if (BatchInputRunning()) return headless_.ChooseItem(title, items);
    int chosen = ::tessaly::ChooseItem(title, items);
    return chosen > 0 ? chosen : 0;
  }

  void ProgressOpen(Slice title, int64_t steps) override { progress_.Open(title, steps); }
  bool ProgressStep(int64_t done, int64_t total) override { return progress_.Step(done, total); }
  void ProgressClose() override { progress_.Close(); }
  void ProgressUnstoppable() override { progress_.Unstoppable(); }

  ProgressWindow& progress() { return progress_; }

 private:
  HeadlessChoices headless_;
  ProgressWindow progress_;
};

// The STATSTEPS display: Cancel breaks the procedure at its next line.
class QtProcedureProgress final : public ProgressDisplay {
 public:
  void Start(Slice text, int64_t total) override {
    // A new STATSTEPS total starts over.
    window_.CloseAll();
    window_.Open(text, total);
  }
  void Step(int64_t done, int64_t total) override { (void)window_.Step(done, total); }
  void End() override { window_.CloseAll(); }

  ProgressWindow& window() { return window_; }

 private:
  static void BreakRun() { RequestProcedureBreak(); }
  ProgressWindow window_{&BreakRun};
};

std::unique_ptr<QtChoices> g_choices;
std::unique_ptr<QtProcedureProgress> g_procedure_progress;

}  // namespace

void InstallQtChoices() {
  if (g_choices == nullptr) g_choices = std::make_unique<QtChoices>();
  if (g_procedure_progress == nullptr) {
    g_procedure_progress = std::make_unique<QtProcedureProgress>();
  }
  (void)InstallChoices(g_choices.get());
  SetProgressDisplay(g_procedure_progress.get());
}

void RemoveQtChoices() {
  if (g_choices == nullptr) return;
  if (&CurrentChoices() == g_choices.get()) (void)InstallChoices(nullptr);
  SetProgressDisplay(nullptr);
  g_choices.reset();
  g_procedure_progress.reset();
}

bool QtChoicesInstalled() { return g_choices != nullptr && &CurrentChoices() == g_choices.get(); }

int ProgressShowDelay() { return g_show_delay_ms; }

void SetProgressShowDelay(int milliseconds) { g_show_delay_ms = std::max(0, milliseconds); }

QProgressDialog* ChoicesProgressDialog() {
  return g_choices == nullptr ? nullptr : g_choices->progress().dialog();
}

QProgressDialog* ProcedureProgressDialog() {
  return g_procedure_progress == nullptr ? nullptr : g_procedure_progress->window().dialog();
}

}  // namespace tessaly

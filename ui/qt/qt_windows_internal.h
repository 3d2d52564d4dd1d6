// The classes of the Qt window layer, shared by its files and its tests.
#pragma once

#include <QtCore/QPointer>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QMainWindow>
#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/message_box.h"
#include "ui/qt/qt_windows.h"
#include "ui/window_layer.h"

class QEventLoop;
class QLabel;
class QScrollArea;

namespace tessaly {

// Windows-1252 texts to and from the toolkit's strings.
QString ToQt(Slice text);
std::string FromQt(const QString& text);

class QtWindowLayer;

// The edit control of a field.
class FieldEdit : public QLineEdit {
 public:
  FieldEdit(QtWindowLayer* layer, WindowId window, int field, QWidget* parent);

 protected:
  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  QtWindowLayer* layer_;
  WindowId window_;
  int field_;
  bool scanning_ = false;
  QString scanned_;
};

// The check box of a logical field.
class FieldCheck : public QCheckBox {
 public:
  FieldCheck(QtWindowLayer* layer, WindowId window, int field, QWidget* parent);

 protected:
  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  QtWindowLayer* layer_;
  WindowId window_;
  int field_;
};

// A window of the stack: a canvas of cells in a scroll area, a menu bar
// when it has one, and the status line.
class CellWindow : public QMainWindow {
 public:
  CellWindow(QtWindowLayer* layer, WindowId slot);
  WindowId slot() const { return slot_; }
  QWidget* canvas() const { return canvas_; }
  QScrollArea* scrollArea() const { return scroll_; }
  QLabel* status() const { return status_; }
  // The control of an identifier; null when none.
  QWidget* Control(int id) const;
  // Replaces the control of an identifier.
  void SetControl(int id, QWidget* control);

 protected:
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  QtWindowLayer* layer_;
  WindowId slot_;
  QScrollArea* scroll_;
  QWidget* canvas_;
  QLabel* status_;
  std::map<int, QPointer<QWidget>> controls_;
};

class QtWindowLayer final : public WindowLayer {
 public:
  QtWindowLayer();
  ~QtWindowLayer() override;

  WindowId TopWindow() override;
  Status SetWindowTitle(WindowId window, Slice title) override;
  Status StaticText(WindowId window, int row, int column, Slice text) override;
  Status CreateFieldControl(WindowId window, const FieldControlSpec& spec) override;
  Status SetFieldText(WindowId window, int field, Slice text, int flags) override;
  Slice FieldControlText(WindowId window, int field) override;
  Status FocusField(WindowId window, int field, bool select_all) override;
  Status EnableField(WindowId window, int field, bool enabled) override;
  Status ShowField(WindowId window, int field, bool visible) override;
  Status SetStatusLine(WindowId window, Slice text) override;
  WindowId OpenWindow(const WindowRequest& request, Status* status) override;
  Status RunWindow(WindowId window) override;
  Status CloseWindow(WindowId window, Status result) override;
  void CloseAllWindows() override;
  bool PumpMessages() override;
  int WindowCount() override;

  // From the controls and windows.
  void ControlAction(WindowId window, int field, int action);
  void ControlFocus(WindowId window, int field, bool in, Qt::FocusReason reason);
  void RequestClose(WindowId window);
  bool IsClosing(WindowId window, const CellWindow* w) const;

  QWidget* Widget(WindowId window);
  QWidget* Field(WindowId window, int field);
  WindowId Main() const;
  bool HasMain() const { return main_ != kNoWindow; }

 private:
  struct Slot {
    CellWindow* window = nullptr;
    int kind = 0;
    int show_state = 1;  // 1 normal, 4 maximized
    bool modal = false;
    bool main = false;
    bool closed = false;
    WindowActionFn action = nullptr;
    void* context = nullptr;
    Status result;
    QEventLoop* loop = nullptr;
  };

  Slot* Live(WindowId window);
  void SaveOrder();
  void UpdateEnabled();
  QString ClassName(int kind, Slice title) const;
  void BuildMenuBar(CellWindow* w, const std::vector<MenuEntry>& entries);
  void CommandAction(WindowId window, int id);
  void FocusFirstField(WindowId window);
  void MaybeScreenshot(WindowId window);
  int InstanceOf(WindowId window) const;
  void Dispatch(WindowId window, int field, int action);
  Status ScreenAction(WindowId window, int field, int action);
  Status ReadBack(WindowId window, int field);

  std::array<Slot, 32> slots_{};
  std::vector<WindowId> order_;  // bottom first
  WindowId main_ = kNoWindow;
  bool screenshot_taken_ = false;
};

// Message boxes as the toolkit's boxes.
class QtMessageBoxUi final : public MessageBoxUi {
 public:
  explicit QtMessageBoxUi(QtWindowLayer* layer) : layer_(layer) {}
  BoxButton Show(Slice text, Slice caption, BoxKind kind, BoxIcon icon) override;
  bool HasMainWindow() const override { return layer_->HasMain(); }
  void DrainPendingMessages() override;

 private:
  QtWindowLayer* layer_;
};

}  // namespace tessaly

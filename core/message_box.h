// Message boxes, status texts and the error display.
//
// Every box goes through a MessageBoxUi. The window layer installs its own
// at start-up (InstallMessageBoxUi); until then, and in batch runs and tests,
// the headless one answers:
//   - it writes the caption and the text to standard error (converted from
//     Windows-1252 to UTF-8), one box per block;
//   - it answers with the batch answer: SetHeadlessAnswer() when it was
//     called, else the environment variable TESSALY_ANSWER, read at each box:
//       "Y" (also "YES", "S", "SI", "OK")  the affirmative button: OK, Retry
//                                          or Yes;
//       "N" (also "NO")                    No, or Cancel where there is no No;
//       "C" (also "CANCEL")                Cancel, or No where there is no
//                                          Cancel;
//     and otherwise the safe default: Cancel where the box has it, else No,
//     else OK. A box with only OK always answers OK.
//
// Answers come back as the letters of message 0011 ("Yy,Nn" in English):
// OK, Retry and Yes give the first character of item 1 ('Y'), No the first
// character of item 2 ('N'), and Cancel gives 3.
#pragma once

#include <string>
#include <vector>

#include "core/slice.h"

namespace tessaly {

// The kinds of box, with their buttons, icon and default caption message.
enum class BoxKind : int {
  kInformation = 0,  // information icon, OK; caption 0014
  kWarning = 1,      // warning icon, OK; caption 0012
  kOkCancel = 2,     // information icon, OK and Cancel; caption 0014
  kStop = 3,         // stop icon, OK; caption 0013
  kRetryCancel = 4,  // stop icon, Retry and Cancel; caption 0012
  kYesNo = 5,        // information icon, Yes and No; caption 0014
  kYesNoCancel = 6,  // information icon, Yes, No and Cancel; caption 0014
};
inline constexpr int kBoxKindCount = 7;

enum class BoxButton { kOk, kCancel, kRetry, kYes, kNo };
enum class BoxIcon { kInformation, kWarning, kStop };

BoxIcon IconOf(BoxKind kind);
bool HasButton(BoxKind kind, BoxButton button);
// The default caption's message number (14, 12 or 13).
int DefaultCaptionMessage(BoxKind kind);

// What shows boxes. Texts are Windows-1252; the implementation converts
// them for its display.
class MessageBoxUi {
 public:
  virtual ~MessageBoxUi() = default;
  // Shows a modal box and returns the button pressed; it must be one of the
  // kind's buttons.
  virtual BoxButton Show(Slice text, Slice caption, BoxKind kind, BoxIcon icon) = 0;
  // Whether the main window exists; while it does not, pending window
  // messages are drained before a box so that none is taken as its answer.
  virtual bool HasMainWindow() const = 0;
  virtual void DrainPendingMessages() = 0;
};

// Installs `ui` (not owned; it must outlive its use); null restores the
// headless one.
void InstallMessageBoxUi(MessageBoxUi* ui);
MessageBoxUi& CurrentMessageBoxUi();

// Batch answers of the headless box.
enum class HeadlessAnswer { kFromEnvironment, kYes, kNo, kCancel, kSafeDefault };
void SetHeadlessAnswer(HeadlessAnswer answer);
// The button the headless box answers for `kind` with the current setting.
BoxButton HeadlessButton(BoxKind kind);

// Installs a box UI for a scope and restores the previous one after it.
class ScopedMessageBoxUi {
 public:
  explicit ScopedMessageBoxUi(MessageBoxUi* ui);
  ~ScopedMessageBoxUi();
  ScopedMessageBoxUi(const ScopedMessageBoxUi&) = delete;
  ScopedMessageBoxUi& operator=(const ScopedMessageBoxUi&) = delete;

 private:
  MessageBoxUi* previous_;
};

// A box UI for tests: records every box and answers with the buttons queued
// by Answer(), then with the headless answer.
class RecordingMessageBoxUi : public MessageBoxUi {
 public:
  struct Box {
    std::string text;
    std::string caption;
    BoxKind kind;
    BoxIcon icon;
  };
  BoxButton Show(Slice text, Slice caption, BoxKind kind, BoxIcon icon) override;
  bool HasMainWindow() const override { return has_main_window; }
  void DrainPendingMessages() override { ++drains; }

  void Answer(BoxButton button) { answers_.push_back(button); }

  std::vector<Box> boxes;
  bool has_main_window = false;
  int drains = 0;

 private:
  std::vector<BoxButton> answers_;
};

// ---- Boxes --------------------------------------------------------------

// The answer letter of message 0011 for a button: 'Y', 'N' or 3.
int AnswerLetter(BoxButton button);
// Shows `text` in a box of `kind` (0-6; others are shown as 0). An empty
// caption takes the kind's default caption message. Returns the answer
// letter.
int ShowMessageBox(Slice text, Slice caption, BoxKind kind);
inline int ShowMessageBox(Slice text, BoxKind kind = BoxKind::kInformation) {
  return ShowMessageBox(text, Slice(), kind);
}
// Asks a yes/no question (kind 5); true when the answer is Yes.
bool AskYesNo(Slice text, Slice caption = Slice());

// ---- Status texts and the error display ------------------------------------

// The text a user sees for a status:
//   0         message 0005;
//   1-120     message 0008;
//   121, 126  the error detail when there is one, else the status name;
//   122-127   the status name;
//   128 up    message 0009 and the status name, then "(" and the recorded
//             error area's name ")" when an area is recorded, then ": " and
//             the error detail when there is one.
// 65535 stands for the recorded code. On the string area.
Slice StatusText(uint16_t code);
// Shows the status text under caption 0012 with a warning icon for codes
// below 128, else under caption 0013 with a stop icon, then deletes the
// error detail. 65535 stands for the recorded code. Returns `code`.
Status ShowError(Status code);

}  // namespace tessaly

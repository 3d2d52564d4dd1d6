#include "core/message_box.h"

#include <string>

#include "core/messages.h"
#include "core/string_area.h"
#include "core/text.h"
#include "platform/encoding.h"
#include "platform/env.h"
#include "platform/environment.h"

namespace tessaly {
namespace {

struct KindInfo {
  BoxIcon icon;
  int caption;  // message number
  bool ok, cancel, retry, yes, no;
};

constexpr KindInfo kKinds[] = {
    {BoxIcon::kInformation, 14, true, false, false, false, false},
    {BoxIcon::kWarning, 12, true, false, false, false, false},
    {BoxIcon::kInformation, 14, true, true, false, false, false},
    {BoxIcon::kStop, 13, true, false, false, false, false},
    {BoxIcon::kStop, 12, false, true, true, false, false},
    {BoxIcon::kInformation, 14, false, false, false, true, true},
    {BoxIcon::kInformation, 14, false, true, false, true, true},
};
static_assert(sizeof kKinds / sizeof kKinds[0] == kBoxKindCount);

const KindInfo& Info(BoxKind kind) {
  int k = static_cast<int>(kind);
  return kKinds[k >= 0 && k < kBoxKindCount ? k : 0];
}

BoxKind ValidKind(BoxKind kind) {
  int k = static_cast<int>(kind);
  return k >= 0 && k < kBoxKindCount ? kind : BoxKind::kInformation;
}

HeadlessAnswer g_headless_answer = HeadlessAnswer::kFromEnvironment;

HeadlessAnswer EnvironmentAnswer() {
  std::string value = platform::EnvironmentValue("TESSALY_ANSWER");
  const char* env = value.c_str();
  switch (*env) {
    case 'Y':
    case 'y':
    case 'S':
    case 's':
    case 'O':
    case 'o':
      return HeadlessAnswer::kYes;
    case 'N':
    case 'n':
      return HeadlessAnswer::kNo;
    case 'C':
    case 'c':
      return HeadlessAnswer::kCancel;
    default:
      return HeadlessAnswer::kSafeDefault;
  }
}

class HeadlessMessageBoxUi : public MessageBoxUi {
 public:
  BoxButton Show(Slice text, Slice caption, BoxKind kind, BoxIcon) override {
    std::string out = "[" + platform::Cp1252ToUtf8(caption.view()) + "]\n" +
                      platform::Cp1252ToUtf8(text.view()) + "\n";
    if (platform::File* err = platform::CurrentEnv().StandardStream(2)) {
      (void)err->WriteAt(0, out.data(), out.size());
    }
    return HeadlessButton(kind);
  }
  bool HasMainWindow() const override { return false; }
  // Nothing queues window messages without a window layer.
  void DrainPendingMessages() override {}
};

HeadlessMessageBoxUi g_headless;
MessageBoxUi* g_ui = &g_headless;

}  // namespace

BoxIcon IconOf(BoxKind kind) { return Info(kind).icon; }

bool HasButton(BoxKind kind, BoxButton button) {
  const KindInfo& k = Info(kind);
  switch (button) {
    case BoxButton::kOk:
      return k.ok;
    case BoxButton::kCancel:
      return k.cancel;
    case BoxButton::kRetry:
      return k.retry;
    case BoxButton::kYes:
      return k.yes;
    case BoxButton::kNo:
      return k.no;
  }
  return false;
}

int DefaultCaptionMessage(BoxKind kind) { return Info(kind).caption; }

void InstallMessageBoxUi(MessageBoxUi* ui) { g_ui = ui ? ui : &g_headless; }
MessageBoxUi& CurrentMessageBoxUi() { return *g_ui; }

void SetHeadlessAnswer(HeadlessAnswer answer) { g_headless_answer = answer; }

BoxButton HeadlessButton(BoxKind kind) {
  HeadlessAnswer answer = g_headless_answer == HeadlessAnswer::kFromEnvironment
                              ? EnvironmentAnswer()
                              : g_headless_answer;
  // The buttons to try, most wanted first; every kind has one of the last two.
  BoxButton order[4];
  switch (answer) {
    case HeadlessAnswer::kYes:
      order[0] = BoxButton::kYes, order[1] = BoxButton::kRetry;
      order[2] = BoxButton::kOk, order[3] = BoxButton::kOk;
      break;
    case HeadlessAnswer::kNo:
      order[0] = BoxButton::kNo, order[1] = BoxButton::kCancel;
      order[2] = BoxButton::kOk, order[3] = BoxButton::kOk;
      break;
    default:
      order[0] = BoxButton::kCancel, order[1] = BoxButton::kNo;
      order[2] = BoxButton::kOk, order[3] = BoxButton::kOk;
      break;
  }
  for (BoxButton b : order) {
    if (HasButton(kind, b)) return b;
  }
  return BoxButton::kCancel;
}

ScopedMessageBoxUi::ScopedMessageBoxUi(MessageBoxUi* ui) : previous_(g_ui) {
  InstallMessageBoxUi(ui);
}
ScopedMessageBoxUi::~ScopedMessageBoxUi() { g_ui = previous_; }

BoxButton RecordingMessageBoxUi::Show(Slice text, Slice caption, BoxKind kind, BoxIcon icon) {
  boxes.push_back({text.str(), caption.str(), kind, icon});
  if (answers_.empty()) return HeadlessButton(kind);
  BoxButton b = answers_.front();
  answers_.erase(answers_.begin());
  return b;
}

int AnswerLetter(BoxButton button) {
  if (button == BoxButton::kCancel) return 3;
  int item = button == BoxButton::kNo ? 2 : 1;
  Slice letters = Item(Message(11), ',', item);
  // A language file without message 0011 must not make Yes and No alike.
  if (letters.empty()) return item == 1 ? 'Y' : 'N';
  return letters[0];
}

namespace {

BoxButton ShowBox(Slice text, Slice caption, BoxKind kind) {
  kind = ValidKind(kind);
  AreaMark mark;
  if (!text.ok()) text = Slice(StatusName(text.status()));
  if (!caption.ok() || caption.empty()) caption = Message(DefaultCaptionMessage(kind));
  MessageBoxUi& ui = CurrentMessageBoxUi();
  if (!ui.HasMainWindow()) ui.DrainPendingMessages();
  BoxButton button = ui.Show(text, caption, kind, IconOf(kind));
  // A window layer answering with a button the box does not have is taken
  // as closing the box.
  if (!HasButton(kind, button))
    button = HasButton(kind, BoxButton::kCancel)
                 ? BoxButton::kCancel
                 : (HasButton(kind, BoxButton::kNo) ? BoxButton::kNo : BoxButton::kOk);
  return button;
}

}  // namespace

int ShowMessageBox(Slice text, Slice caption, BoxKind kind) {
  return AnswerLetter(ShowBox(text, caption, kind));
}

bool AskYesNo(Slice text, Slice caption) {
  return ShowBox(text, caption, BoxKind::kYesNo) == BoxButton::kYes;
}

Slice StatusText(uint16_t code) {
  LastError last = GetLastError();
  if (code == Status::kUndefined) code = last.code;
  AreaMark mark;
  if (code == 0) return mark.Keep(Message(5));
  if (code <= 120) return mark.Keep(Message(8));
  Slice detail = GetDetail();
  bool has_detail = detail.ok() && !detail.empty();
  if (code == Status::kSilent || code == Status::kBadUserData) {
    return mark.Keep(has_detail ? detail : Slice(StatusName(code)));
  }
  if (code < Status::kTypeMismatch) return mark.Keep(Slice(StatusName(code)));
  std::string text(Message(9).view());
  text += StatusName(code);
  if (last.area != 0) {
    const char* area = ErrorAreaName(last.area);
    text += '(';
    text += *area ? std::string(area) : std::to_string(last.area);
    text += ')';
  }
  if (has_detail) {
    text += ": ";
    text.append(detail.view());
  }
  if (text.size() > kMaxTextLength) text.resize(kMaxTextLength);
  return mark.Keep(Slice::Of(text));
}

Status ShowError(Status code) {
  uint16_t shown = code == Status::kUndefined ? GetLastError().code : code.code();
  {
    AreaMark mark;
    Slice text = StatusText(shown);
    bool error = shown >= Status::kTypeMismatch;
    Slice caption = Message(error ? 13 : 12);
    (void)ShowBox(text, caption, error ? BoxKind::kStop : BoxKind::kWarning);
  }
  ClearDetail();
  return shown;
}

}  // namespace tessaly

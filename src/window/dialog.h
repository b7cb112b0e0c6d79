#pragma once
// A dialog framework of our own in the shape of the classic one: a class per
// template, controls attached by id through the data exchange, texts
// exchanged both ways, a static message map binding On... handlers, modal
// runs, window timers. The toolkit behind it is a Backend.

#include <cstdint>
#include <span>
#include <string>

#include "window/backend.h"
#include "window/dialog_template.h"
#include "window/window_types.h"

class CDialog;

// A control of an open dialog, named by its id. Cheap handle; does nothing
// (and answers "none") while its dialog has no window.
class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd() = default;

  void Attach(CDialog* dialog, int id) {
    dialog_ = dialog;
    id_ = id;
  }
  int GetDlgCtrlID() const { return id_; }

  bool EnableWindow(bool enable = true);
  bool IsWindowEnabled() const;
  bool ShowWindow(int command);  // SW_SHOW or SW_HIDE; returns previous visibility
  bool IsWindowVisible() const;
  void SetWindowText(const std::string& text);
  std::string GetWindowText() const;

 protected:
  WindowPeer* Peer() const;
  CDialog* dialog_ = nullptr;
  int id_ = 0;
};

class CButton : public CWnd {};
class CStatic : public CWnd {};

class CComboBox : public CWnd {
 public:
  void ResetContent();
  int AddString(const std::string& text);  // index, or CB_ERR
  int SetItemData(int index, std::uint32_t data);
  std::uint32_t GetItemData(int index) const;
  int GetCount() const;
  std::string GetLBText(int index) const;
  int SetCurSel(int index);
  int GetCurSel() const;
  // Selects the first item after startAfter (-1: from the top) whose text
  // begins with prefix, compared without regard to case; its index or CB_ERR.
  int SelectString(int startAfter, const std::string& prefix);
};

class CProgressCtrl : public CWnd {
 public:
  int SetPos(int pos);  // kept within 0..100; returns the previous position
  int GetPos() const;
};

class CAnimateCtrl : public CWnd {
 public:
  bool Open(int clipResourceId);
  bool Play(int fromFrame, int toFrame, int repeat);
  bool Stop();
};

class CDataExchange {
 public:
  CDataExchange(CDialog* dialog, bool saveAndValidate)
      : dialog_(dialog), saveAndValidate_(saveAndValidate) {}
  CDialog* Dialog() const { return dialog_; }
  bool SaveAndValidate() const { return saveAndValidate_; }

 private:
  CDialog* dialog_;
  bool saveAndValidate_;
};

void DDX_Control(CDataExchange* dx, int id, CWnd& control);
void DDX_Text(CDataExchange* dx, int id, std::string& value);

// Message map.
enum class MessageKind : std::uint8_t {
  End,
  Command,
  Timer,
  SysCommand,
  Paint,
  QueryDragIcon,
  DeviceChange,
};

struct Message {
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  std::intptr_t result = 0;
};

struct MessageMapEntry {
  MessageKind kind;
  int id;    // control id, for commands
  int code;  // notification code, for commands
  void (*handler)(CDialog& dialog, Message& message);
};

struct MessageMap {
  const MessageMap* base;
  const MessageMapEntry* entries;  // ends with a MessageKind::End entry
};

#define DECLARE_MESSAGE_MAP()                       \
 protected:                                         \
  const MessageMap& GetMessageMap() const override; \
                                                    \
 public:                                            \
  static const MessageMap& ClassMessageMap();

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                    \
  const MessageMap& theClass::GetMessageMap() const { return ClassMessageMap(); } \
  const MessageMap& theClass::ClassMessageMap() {                                 \
    using ThisClass [[maybe_unused]] = theClass;                                  \
    using TheBaseClass = baseClass;                                               \
    static const MessageMapEntry entries[] = {
#define END_MESSAGE_MAP()                                                 \
  { MessageKind::End, 0, 0, nullptr }                                     \
  }                                                                       \
  ;                                                                       \
  static const MessageMap map{&TheBaseClass::ClassMessageMap(), entries}; \
  return map;                                                             \
  }

#define ON_BN_CLICKED(controlId, memberFn)      \
  {MessageKind::Command, controlId, BN_CLICKED, \
   [](CDialog& d, Message&) { static_cast<ThisClass&>(d).memberFn(); }},
#define ON_CBN_SELCHANGE(controlId, memberFn)      \
  {MessageKind::Command, controlId, CBN_SELCHANGE, \
   [](CDialog& d, Message&) { static_cast<ThisClass&>(d).memberFn(); }},
#define ON_CBN_DROPDOWN(controlId, memberFn)      \
  {MessageKind::Command, controlId, CBN_DROPDOWN, \
   [](CDialog& d, Message&) { static_cast<ThisClass&>(d).memberFn(); }},
#define ON_WM_TIMER()                                                     \
  {MessageKind::Timer, 0, 0, [](CDialog& d, Message& m) {                 \
     static_cast<ThisClass&>(d).OnTimer(static_cast<unsigned>(m.wParam)); \
   }},
#define ON_WM_SYSCOMMAND()                                                               \
  {MessageKind::SysCommand, 0, 0, [](CDialog& d, Message& m) {                           \
     static_cast<ThisClass&>(d).OnSysCommand(static_cast<unsigned>(m.wParam), m.lParam); \
   }},
#define ON_WM_PAINT() \
  {MessageKind::Paint, 0, 0, [](CDialog& d, Message&) { static_cast<ThisClass&>(d).OnPaint(); }},
#define ON_WM_DEVICECHANGE()        \
  {MessageKind::DeviceChange, 0, 0, \
   [](CDialog& d, Message&) { static_cast<ThisClass&>(d).OnDeviceChange(); }},
#define ON_WM_QUERYDRAGICON()                                                             \
  {MessageKind::QueryDragIcon, 0, 0, [](CDialog& d, Message& m) {                         \
     m.result = static_cast<std::intptr_t>(static_cast<ThisClass&>(d).OnQueryDragIcon()); \
   }},

class CDialog {
 public:
  explicit CDialog(const DialogTemplate& dialogTemplate);
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Runs the dialog modally; returns the value given to EndDialog, or -1
  // when the window could not be created.
  virtual int DoModal();
  // Closes the window with a result. UI thread only; ignored when not open.
  void EndDialog(int result);
  bool IsOpen() const { return peer_ != nullptr; }

  virtual bool OnInitDialog();  // pushes the bound texts; returns true
  virtual void OnOK();          // reads the bound texts, ends with IDOK
  virtual void OnCancel();      // ends with IDCANCEL
  virtual void DoDataExchange(CDataExchange* dx);
  bool UpdateData(bool saveAndValidate = true);

  unsigned SetTimer(unsigned timerId, unsigned periodMs);  // timerId, or 0 on failure
  bool KillTimer(unsigned timerId);
  bool AppendSystemMenuItem(unsigned commandId, const std::string& text);
  void SetIcon(int iconResourceId, bool big);
  bool IsIconic() const;
  // As the dialog manager does it: with its Cancel button disabled, a
  // dialog cannot be cancelled, neither by Escape nor by the close box.
  bool CancelAllowed() const;
  // The default processing of the message being handled: a system command
  // to close the window cancels it; anything else needs nothing of ours.
  void Default();

  const DialogTemplate& Template() const { return template_; }
  WindowPeer* Peer() const { return peer_; }

  // Called by the backend on the UI thread.
  void AttachPeer(WindowPeer* peer) { peer_ = peer; }
  void DetachPeer() { peer_ = nullptr; }
  bool DispatchInitDialog();
  // A button click, list notification, or the IDOK/IDCANCEL commands of
  // Enter, Escape and the close box; IDCANCEL is refused while
  // CancelAllowed() is false.
  void DispatchCommand(int controlId, int notificationCode);
  void DispatchTimer(unsigned timerId);
  void DispatchSysCommand(unsigned commandId, std::intptr_t lParam);
  void DispatchPaint();
  std::intptr_t DispatchQueryDragIcon();
  // The system's notice that devices arrived or went.
  void DispatchDeviceChange();
  // Whether the message map has a handler for that notice, so that a
  // toolkit that must watch for devices itself does it only when needed.
  bool HandlesDeviceChange() const;

  static const MessageMap& ClassMessageMap();

 protected:
  virtual const MessageMap& GetMessageMap() const;

 private:
  const MessageMapEntry* FindEntry(MessageKind kind, int id, int code) const;

  const DialogTemplate& template_;
  WindowPeer* peer_ = nullptr;
  // The system command being dispatched, for Default(); 0 outside one.
  unsigned currentSysCommand_ = 0;
};

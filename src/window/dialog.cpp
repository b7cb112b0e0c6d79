#include "window/dialog.h"

#include <algorithm>
#include <cctype>

// ---- Controls -------------------------------------------------------------

WindowPeer* CWnd::Peer() const { return dialog_ != nullptr ? dialog_->Peer() : nullptr; }

bool CWnd::EnableWindow(bool enable) {
  WindowPeer* peer = Peer();
  if (peer == nullptr) return false;
  const bool wasDisabled = !peer->IsEnabled(id_);
  peer->Enable(id_, enable);
  return wasDisabled;
}

bool CWnd::IsWindowEnabled() const {
  WindowPeer* peer = Peer();
  return peer != nullptr && peer->IsEnabled(id_);
}

bool CWnd::ShowWindow(int command) {
  WindowPeer* peer = Peer();
  if (peer == nullptr) return false;
  const bool wasVisible = peer->IsVisible(id_);
  peer->Show(id_, command != SW_HIDE);
  return wasVisible;
}

bool CWnd::IsWindowVisible() const {
  WindowPeer* peer = Peer();
  return peer != nullptr && peer->IsVisible(id_);
}

void CWnd::SetWindowText(const std::string& text) {
  if (WindowPeer* peer = Peer()) peer->SetText(id_, text);
}

std::string CWnd::GetWindowText() const {
  WindowPeer* peer = Peer();
  return peer != nullptr ? peer->GetText(id_) : std::string();
}

void CComboBox::ResetContent() {
  if (WindowPeer* peer = Peer()) peer->ListReset(id_);
}

int CComboBox::AddString(const std::string& text) {
  WindowPeer* peer = Peer();
  return peer != nullptr ? peer->ListAdd(id_, text) : CB_ERR;
}

int CComboBox::SetItemData(int index, std::uint32_t data) {
  WindowPeer* peer = Peer();
  return peer != nullptr && peer->ListSetData(id_, index, data) ? 0 : CB_ERR;
}

std::uint32_t CComboBox::GetItemData(int index) const {
  WindowPeer* peer = Peer();
  return peer != nullptr ? peer->ListGetData(id_, index) : static_cast<std::uint32_t>(CB_ERR);
}

int CComboBox::GetCount() const {
  WindowPeer* peer = Peer();
  return peer != nullptr ? peer->ListCount(id_) : CB_ERR;
}

std::string CComboBox::GetLBText(int index) const {
  WindowPeer* peer = Peer();
  return peer != nullptr ? peer->ListText(id_, index) : std::string();
}

int CComboBox::SetCurSel(int index) {
  WindowPeer* peer = Peer();
  return peer != nullptr ? peer->ListSetCurSel(id_, index) : CB_ERR;
}

int CComboBox::GetCurSel() const {
  WindowPeer* peer = Peer();
  return peer != nullptr ? peer->ListGetCurSel(id_) : CB_ERR;
}

namespace {

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  if (prefix.size() > text.size()) return false;
  return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  });
}

}  // namespace

// Like the list control's own search: starts after startAfter, wraps around
// to the top, and leaves the selection alone when nothing matches.
int CComboBox::SelectString(int startAfter, const std::string& prefix) {
  const int count = GetCount();
  if (count <= 0) return CB_ERR;
  const int first = (startAfter < 0 || startAfter >= count) ? 0 : startAfter + 1;
  for (int step = 0; step < count; ++step) {
    const int index = (first + step) % count;
    if (StartsWithIgnoringCase(GetLBText(index), prefix)) return SetCurSel(index);
  }
  return CB_ERR;
}

int CProgressCtrl::SetPos(int pos) {
  WindowPeer* peer = Peer();
  if (peer == nullptr) return 0;
  const int previous = peer->GetProgressPos(id_);
  peer->SetProgressPos(id_, std::clamp(pos, 0, 100));
  return previous;
}

int CProgressCtrl::GetPos() const {
  WindowPeer* peer = Peer();
  return peer != nullptr ? peer->GetProgressPos(id_) : 0;
}

bool CAnimateCtrl::Open(int clipResourceId) {
  WindowPeer* peer = Peer();
  return peer != nullptr && peer->AnimationOpen(id_, clipResourceId);
}

bool CAnimateCtrl::Play(int fromFrame, int toFrame, int repeat) {
  WindowPeer* peer = Peer();
  return peer != nullptr && peer->AnimationPlay(id_, fromFrame, toFrame, repeat);
}

bool CAnimateCtrl::Stop() {
  WindowPeer* peer = Peer();
  return peer != nullptr && peer->AnimationStop(id_);
}

// ---- Data exchange --------------------------------------------------------

void DDX_Control(CDataExchange* dx, int id, CWnd& control) { control.Attach(dx->Dialog(), id); }

void DDX_Text(CDataExchange* dx, int id, std::string& value) {
  WindowPeer* peer = dx->Dialog()->Peer();
  if (peer == nullptr) return;
  if (dx->SaveAndValidate()) {
    value = peer->GetText(id);
  } else {
    peer->SetText(id, value);
  }
}

// ---- Dialog ---------------------------------------------------------------

CDialog::CDialog(const DialogTemplate& dialogTemplate) : template_(dialogTemplate) {}

CDialog::~CDialog() = default;

const MessageMap& CDialog::ClassMessageMap() {
  static const MessageMapEntry entries[] = {{MessageKind::End, 0, 0, nullptr}};
  static const MessageMap map{nullptr, entries};
  return map;
}

const MessageMap& CDialog::GetMessageMap() const { return ClassMessageMap(); }

int CDialog::DoModal() {
  if (!HasBackend() || IsOpen()) return -1;
  return CurrentBackend().RunModal(*this);
}

void CDialog::EndDialog(int result) {
  if (peer_ != nullptr) peer_->End(result);
}

bool CDialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

void CDialog::OnOK() {
  if (!UpdateData(true)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::DoDataExchange(CDataExchange*) {}

bool CDialog::UpdateData(bool saveAndValidate) {
  CDataExchange dx(this, saveAndValidate);
  DoDataExchange(&dx);
  return true;
}

unsigned CDialog::SetTimer(unsigned timerId, unsigned periodMs) {
  if (peer_ == nullptr || timerId == 0) return 0;
  return peer_->SetTimer(timerId, periodMs) ? timerId : 0;
}

bool CDialog::KillTimer(unsigned timerId) { return peer_ != nullptr && peer_->KillTimer(timerId); }

bool CDialog::AppendSystemMenuItem(unsigned commandId, const std::string& text) {
  return peer_ != nullptr && peer_->AppendSystemMenuItem(commandId, text);
}

void CDialog::SetIcon(int iconResourceId, bool big) {
  if (peer_ != nullptr) peer_->SetIcon(iconResourceId, big);
}

bool CDialog::IsIconic() const { return peer_ != nullptr && peer_->IsIconic(); }

bool CDialog::CancelAllowed() const {
  if (peer_ == nullptr || template_.FindControl(IDCANCEL) == nullptr) return true;
  return peer_->IsEnabled(IDCANCEL);
}

void CDialog::Default() {
  if ((currentSysCommand_ & 0xFFF0) == SC_CLOSE && CancelAllowed()) OnCancel();
}

const MessageMapEntry* CDialog::FindEntry(MessageKind kind, int id, int code) const {
  for (const MessageMap* map = &GetMessageMap(); map != nullptr; map = map->base) {
    for (const MessageMapEntry* e = map->entries; e->kind != MessageKind::End; ++e) {
      if (e->kind != kind) continue;
      if (kind == MessageKind::Command && (e->id != id || e->code != code)) continue;
      return e;
    }
  }
  return nullptr;
}

bool CDialog::DispatchInitDialog() { return OnInitDialog(); }

void CDialog::DispatchCommand(int controlId, int notificationCode) {
  if (controlId == IDCANCEL && notificationCode == BN_CLICKED && !CancelAllowed()) return;
  if (const MessageMapEntry* e = FindEntry(MessageKind::Command, controlId, notificationCode)) {
    Message message{static_cast<std::uintptr_t>(controlId), notificationCode, 0};
    e->handler(*this, message);
    return;
  }
  if (notificationCode != BN_CLICKED) return;
  if (controlId == IDOK) OnOK();
  if (controlId == IDCANCEL) OnCancel();
}

void CDialog::DispatchTimer(unsigned timerId) {
  if (const MessageMapEntry* e = FindEntry(MessageKind::Timer, 0, 0)) {
    Message message{timerId, 0, 0};
    e->handler(*this, message);
  }
}

void CDialog::DispatchSysCommand(unsigned commandId, std::intptr_t lParam) {
  const unsigned outer = currentSysCommand_;
  currentSysCommand_ = commandId;
  if (const MessageMapEntry* e = FindEntry(MessageKind::SysCommand, 0, 0)) {
    Message message{commandId, lParam, 0};
    e->handler(*this, message);
  } else {
    Default();
  }
  currentSysCommand_ = outer;
}

void CDialog::DispatchPaint() {
  if (const MessageMapEntry* e = FindEntry(MessageKind::Paint, 0, 0)) {
    Message message;
    e->handler(*this, message);
  }
}

std::intptr_t CDialog::DispatchQueryDragIcon() {
  if (const MessageMapEntry* e = FindEntry(MessageKind::QueryDragIcon, 0, 0)) {
    Message message;
    e->handler(*this, message);
    return message.result;
  }
  return 0;
}

void CDialog::DispatchDeviceChange() {
  if (const MessageMapEntry* e = FindEntry(MessageKind::DeviceChange, 0, 0)) {
    Message message;
    e->handler(*this, message);
  }
}

bool CDialog::HandlesDeviceChange() const {
  return FindEntry(MessageKind::DeviceChange, 0, 0) != nullptr;
}

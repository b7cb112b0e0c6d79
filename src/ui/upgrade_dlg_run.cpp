// Placeholder definitions so that the program links while the update run is
// being written.
#include "ui/upgrade_dlg.h"

bool CUpgradeDlg::ConfirmUpdate(std::string) { return false; }
void CUpgradeDlg::DownloadFirmware() {}
void CUpgradeDlg::EnterTransferLayout() {}
void CUpgradeDlg::OnCancel() { CDialog::OnCancel(); }
void CUpgradeDlg::OnStartUpdate() {}
void CUpgradeDlg::OnTimer(unsigned) {}

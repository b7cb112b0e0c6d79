// Placeholder definitions so that the program links while identification is
// being written.
#include "ui/upgrade_dlg.h"

bool CUpgradeDlg::QueryBootInformation(std::int32_t, std::string&) { return false; }
bool CUpgradeDlg::QueryProductInformation(std::int32_t, const std::string&) { return false; }
std::string CUpgradeDlg::QueryApplicationInformation(std::int32_t) { return {}; }
bool CUpgradeDlg::ChooseAmongAvailable() { return false; }
bool CUpgradeDlg::ChooseAmongBootIdFamilies(const std::string&) { return false; }

#pragma once
// The device choice: lists the candidate families by display name and lets
// the user pick the connected one, with the warning icon blinking meanwhile.

#include <string>
#include <vector>

#include "window/dialog.h"

class CSelectDeviceDlg : public CDialog {
 public:
  CSelectDeviceDlg();
  ~CSelectDeviceDlg() override;

  // Appends a candidate; an empty name is never added.
  void AddDevice(const std::string& displayName);
  int GetDeviceCount() const;
  std::string GetDevice(int index) const;  // empty when out of range
  // The display name of the entry selected when the dialog closed.
  std::string GetSelection() const;

  bool OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

  void OnSelchangeDeviceList();
  void OnTimer(unsigned timerId);

 protected:
  void DoDataExchange(CDataExchange* dx) override;

 private:
  CStatic icon_;
  CComboBox deviceList_;
  // Held as text, not as an index.
  std::string selection_;
  std::vector<std::string> candidates_;

  DECLARE_MESSAGE_MAP()
};

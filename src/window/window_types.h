#pragma once
// Constants of the window layer. The values are those of the Win32 API, so
// the Win32 backend passes them through unchanged.

#include <cstdint>

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Message box types.
inline constexpr unsigned MB_OK = 0x00;
inline constexpr unsigned MB_YESNO = 0x04;
inline constexpr unsigned MB_ICONQUESTION = 0x20;

// ShowWindow commands.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOW = 5;

// Notification codes carried by a command.
inline constexpr int BN_CLICKED = 0;
inline constexpr int CBN_SELCHANGE = 1;
inline constexpr int CBN_DROPDOWN = 7;  // the list is about to open

// Results of list operations.
inline constexpr int CB_ERR = -1;

// System command ids below this are the user's; the window's own start here.
inline constexpr unsigned kFirstOwnSysCommand = 0xF000;
inline constexpr unsigned SC_CLOSE = 0xF060;

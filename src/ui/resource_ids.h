#pragma once
// Resource and control identifiers, shared by the dialog classes, the
// templates and the resource generator.

// Dialog templates.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_UPGRADE_DIALOG = 102;
inline constexpr int IDD_CONFIRM = 133;
inline constexpr int IDD_SELECT_DEVICE = 134;
inline constexpr int IDD_RESET_PROMPT = 135;

// Icons, clip, strings.
inline constexpr int IDR_MAINFRAME = 128;  // application icon
inline constexpr int IDI_WARNING_ICON = 129;
inline constexpr int IDR_TRANSFER_AVI = 132;
inline constexpr int IDS_ABOUTBOX = 101;  // "&About..."

// System menu command of the About entry.
inline constexpr unsigned IDM_ABOUTBOX = 0x0010;

// Main window controls.
inline constexpr int IDC_START_UPDATE = 1000;
inline constexpr int IDC_PORT_LIST = 1001;
inline constexpr int IDC_INFO = 1004;
inline constexpr int IDC_WARNING_TEXT = 1005;
inline constexpr int IDC_WARNING_ICON = 1006;
inline constexpr int IDC_PROGRESS = 1007;
inline constexpr int IDC_JOBNAME = 1008;
inline constexpr int IDC_PERCENT = 1009;
inline constexpr int IDC_ANIMATION = 1010;

// About box.
inline constexpr int IDC_VERSION = 1002;
inline constexpr int IDC_TOOLNAME = 1003;

// Confirmation.
inline constexpr int IDC_NEW_VERSION = 1011;
inline constexpr int IDC_DEVICE_VERSION = 1012;

// Device choice.
inline constexpr int IDC_SELECT_ICON = 1006;
inline constexpr int IDC_DEVICE_LIST = 1012;

// Timers of the main window; the device choice blinks on timer 1.
inline constexpr unsigned kProgressTimer = 1;
inline constexpr unsigned kBlinkTimer = 2;
inline constexpr unsigned kTimerPeriodMs = 500;

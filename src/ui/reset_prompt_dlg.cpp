// Placeholder until the wait-for-reset job is written.
#include "ui/reset_prompt_dlg.h"

#include "ui/dialog_templates.h"
#include "ui/resource_ids.h"

CResetPromptDlg::CResetPromptDlg() : CDialog(DialogTemplateById(IDD_RESET_PROMPT)) {}
CResetPromptDlg::~CResetPromptDlg() = default;

BEGIN_MESSAGE_MAP(CResetPromptDlg, CDialog)
END_MESSAGE_MAP()

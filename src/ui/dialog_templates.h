#pragma once
// The program's dialog templates (100 About box, 102 main window,
// 133 confirmation, 134 device choice, 135 reset prompt), once, as data.

#include <span>

#include "window/dialog_template.h"

const DialogTemplate& DialogTemplateById(int templateId);
std::span<const DialogTemplate* const> AllDialogTemplates();

#include "run/progress_text.h"

#include <cstdio>

std::string FormatProgressText(std::int32_t progress) {
  char text[32];
  std::snprintf(text, sizeof text, "%d %%", static_cast<int>(progress));
  return text;
}

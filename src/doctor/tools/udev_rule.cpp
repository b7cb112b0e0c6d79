// reflint-udev-rule: prints the Linux package's udev rule, made from the
// table of known bridges (the build writes it next to the programs).
#include <iostream>

#include "doctor/known_bridges.h"

int main() {
  std::cout << doctor::UdevRuleText();
  return std::cout.good() ? 0 : 1;
}

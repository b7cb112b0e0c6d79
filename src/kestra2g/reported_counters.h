#pragma once
// The security counter each port's remote last reported in its HELLO
// answer, for the rest of the process: a download of a file below it is
// refused before its port is even opened (the program asks HELLO through
// Qarnel_InitCom first). Calls on different ports run on threads of their own.

#include <cstdint>
#include <optional>

namespace kestra2g {

void NoteReportedCounter(int port, std::uint32_t counter);
std::optional<std::uint32_t> ReportedCounter(int port);

}  // namespace kestra2g

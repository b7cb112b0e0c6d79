#pragma once
// reflint-cli's exit codes; the help text and the manual page list them.

inline constexpr int kExitUpdated = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoDevice = 3;
inline constexpr int kExitDeclined = 4;
inline constexpr int kExitInterrupted = 130;

inline constexpr const char* kExitCodeHelp =
    "Exit codes:\n"
    "  0    updated (every port, when several), or reverted\n"
    "  1    the update failed (on any port), or the revert did (also when\n"
    "       the remote keeps nothing to revert to)\n"
    "  2    usage: a wrong option, a question no one can answer, or an older\n"
    "       file without --allow-older\n"
    "  3    no device, or it could not be identified\n"
    "  4    declined by the user\n"
    "  130  interrupted (Ctrl+C)\n";

#pragma once

// Names and numbers of this release, shown in the window and compared by the update check.
inline constexpr const char* kProductTitle = "Corvane Print Spooler";
inline constexpr const char* kTitlePrefix = "Corvane Print Spooler ";
inline constexpr const char* kProgramVersion = "2.4.0";

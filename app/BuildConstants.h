#pragma once

// The deployment's constants, fixed when the program is built: each build variant (normal,
// end-to-end, demo, package, Windows) links exactly one definition of them, made by
// corvane_add_constants() in cmake/BuildConstants.cmake.
namespace BuildConstants {
extern const char* const kSftpHost;
// Empty: the SSH library's default port.
extern const char* const kSftpPort;
// Base URL of the maker's web server (release number text and download page).
extern const char* const kWebBaseUrl;
}  // namespace BuildConstants

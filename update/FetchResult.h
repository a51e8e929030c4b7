#pragma once

#include <string>

// What one fetch of the release number came to: the body of a final 200 answer, or why
// there is none.
struct FetchResult {
    bool ok = false;
    // Every byte of the answer, as received (when ok).
    std::string body;
    // Otherwise the program's text for the failure: libcurl's text for its result code,
    // "An error has occurred" for a final status other than 200, or a failed set-up step.
    std::string failure;
    // The particulars, for the log: libcurl's error buffer, the status received, where a
    // refused redirection pointed.
    std::string detail;

    static FetchResult Body(std::string body);
    static FetchResult Failure(std::string failure, std::string detail = std::string());

    // "failure: detail", or the failure alone.
    std::string Describe() const;
};

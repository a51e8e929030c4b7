#include "pickup/sftp/LoginText.h"

#include <windows.h>

namespace {

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) {
        return std::wstring();
    }
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    if (length <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, &wide[0], length);
    return wide;
}

// The text in the ANSI code page; `lossless` tells whether every character was there.
// No best fit: "Ł" must not quietly become "L".
std::string AnsiCodePage(const std::string& utf8, bool& lossless) {
    lossless = true;
    const std::wstring wide = Wide(utf8);
    if (wide.empty()) {
        lossless = utf8.empty();
        return std::string();
    }
    const int size = static_cast<int>(wide.size());
    BOOL usedDefault = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr,
                                           0, nullptr, &usedDefault);
    if (length <= 0) {
        lossless = false;
        return std::string();
    }
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, &bytes[0], length, nullptr,
                        &usedDefault);
    lossless = usedDefault == FALSE;
    return bytes;
}

}  // namespace

std::string AccountIdBytes(const std::string& accountId) {
    bool lossless = true;
    const std::string bytes = AnsiCodePage(accountId, lossless);
    // Text that is not UTF-8 at all is taken as the bytes it is.
    return bytes.empty() && !accountId.empty() ? accountId : bytes;
}

std::vector<std::string> PasswordForms(const std::string& password) {
    std::vector<std::string> forms{password};
    bool lossless = true;
    const std::string ansi = AnsiCodePage(password, lossless);
    if (lossless && !ansi.empty() && ansi != password) {
        forms.push_back(ansi);
    }
    return forms;
}

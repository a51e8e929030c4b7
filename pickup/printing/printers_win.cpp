// The printer list from the Windows print spooler: local printers and the user's printer
// connections.
#include "pickup/printing/Printers.h"

#include <new>
#include <vector>

#include <wx/msw/wrapwin.h>  // windows.h as the toolkit wants it
#include <winspool.h>

namespace {
// A printer added between the size query and the enumeration makes the block too small;
// the query is then repeated with the new size, a few times at most.
constexpr int kEnumAttempts = 4;
constexpr DWORD kEnumFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
constexpr DWORD kInfoLevel = 4;
}  // namespace

wxString QueryDefaultPrinterName() {
    wchar_t buffer[256] = {};
    DWORD size = sizeof(buffer) / sizeof(buffer[0]);
    if (!GetDefaultPrinterW(buffer, &size)) {
        return wxString();
    }
    return wxString(buffer);
}

wxArrayString QueryPrinterNames() {
    wxArrayString names;
    for (int attempt = 0; attempt < kEnumAttempts; ++attempt) {
        DWORD needed = 0;
        DWORD count = 0;
        // Expected to fail with ERROR_INSUFFICIENT_BUFFER; only `needed` is of interest.
        EnumPrintersW(kEnumFlags, nullptr, kInfoLevel, nullptr, 0, &needed, &count);
        if (needed == 0) {
            return names;  // no printers, or the spooler is not answering
        }

        std::vector<BYTE> block;
        try {
            block.resize(needed);
        } catch (const std::bad_alloc&) {
            return names;
        }

        if (EnumPrintersW(kEnumFlags, nullptr, kInfoLevel, block.data(),
                          static_cast<DWORD>(block.size()), &needed, &count)) {
            const auto* records = reinterpret_cast<const PRINTER_INFO_4W*>(block.data());
            for (DWORD i = 0; i < count; ++i) {
                if (records[i].pPrinterName != nullptr) {
                    names.Add(wxString(records[i].pPrinterName));
                }
            }
            return names;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return names;
        }
    }
    return names;
}

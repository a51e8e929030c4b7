#pragma once

#include <chrono>
#include <functional>

#include <wx/arrstr.h>
#include <wx/string.h>

struct DiscoveredPrinters {
    wxString defaultName;  // empty when there is none
    wxArrayString names;   // in the print system's order
};

// A print system that accepts a connection and never answers holds its calls for about a
// minute (on Windows, a spooler behind an unreachable print server the same), and the
// window waits for the list. A few seconds is plenty for one that works.
constexpr std::chrono::milliseconds kPrinterDiscoveryLimit = std::chrono::seconds(3);

// Asks the print system for the default printer, then for the list, on a helper thread,
// and waits up to `limit` for both. One that has not answered by then counts as having no
// printers for now; the helper is left to end on its own, counted among the worker threads
// so that the program's exit does not race it, and hands an answer that still comes to
// `late`, on its own thread.
DiscoveredPrinters DiscoverPrinters(std::chrono::milliseconds limit = kPrinterDiscoveryLimit,
                                    std::function<void(const DiscoveredPrinters&)> late =
                                        std::function<void(const DiscoveredPrinters&)>());

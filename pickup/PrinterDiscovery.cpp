// The printer list of the login form, from the platform's print system, without letting a
// silent print system hold the window back.
#include "pickup/PrinterDiscovery.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "app/PrinterApp.h"
#include "app/WorkerThreads.h"
#include "pickup/Printers.h"

namespace {

// Shared by the waiting thread and the helper, so that a helper that is given up on still
// has everything it touches.
struct Discovery {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    DiscoveredPrinters printers;
};

DiscoveredPrinters Ask() {
    DiscoveredPrinters printers;
    printers.defaultName = QueryDefaultPrinterName();
    printers.names = QueryPrinterNames();
    return printers;
}

}  // namespace

DiscoveredPrinters DiscoverPrinters(std::chrono::milliseconds limit) {
    auto discovery = std::make_shared<Discovery>();
    // Counted from before the thread exists until after its last touch of `discovery`.
    auto alive = std::make_unique<WorkerThreadToken>();
    try {
        std::thread([discovery, alive = std::move(alive)] {
            DiscoveredPrinters printers = Ask();
            std::lock_guard<std::mutex> lock(discovery->mutex);
            discovery->printers = std::move(printers);
            discovery->done = true;
            discovery->answered.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return Ask();  // no thread to be had: ask here, as long as it takes
    }

    std::unique_lock<std::mutex> lock(discovery->mutex);
    if (!discovery->answered.wait_for(lock, limit, [&] { return discovery->done; })) {
        return DiscoveredPrinters();
    }
    return discovery->printers;
}

const DiscoveredPrinters& PrinterApp::DiscoveredPrinterList() {
    // One discovery for both questions, so a silent print system costs the wait once.
    if (!printers) {
        printers = DiscoverPrinters();
    }
    return *printers;
}

wxString PrinterApp::GetDefaultPrinterName() {
    return DiscoveredPrinterList().defaultName;
}

wxArrayString PrinterApp::GetPrinterNames() {
    return DiscoveredPrinterList().names;
}

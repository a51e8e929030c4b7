// The printer list of the login form, from the platform's print system, without letting a
// silent print system hold the window back.
#include "pickup/printing/PrinterDiscovery.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "app/EventSink.h"
#include "app/PrinterApp.h"
#include "app/WorkerThreads.h"
#include "ui/TeskFrame.h"
#include "pickup/printing/Printers.h"

namespace {

// Shared by the waiting thread and the helper, so that a helper that is given up on still
// has everything it touches.
struct Discovery {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    bool givenUp = false;
    DiscoveredPrinters printers;
    std::function<void(const DiscoveredPrinters&)> late;
};

// The answer of a print system that took longer than the window could wait.
const wxEventTypeTag<wxThreadEvent> kLatePrinters(wxNewEventType());

DiscoveredPrinters Ask() {
    DiscoveredPrinters printers;
    printers.defaultName = QueryDefaultPrinterName();
    printers.names = QueryPrinterNames();
    return printers;
}

}  // namespace

DiscoveredPrinters DiscoverPrinters(std::chrono::milliseconds limit,
                                    std::function<void(const DiscoveredPrinters&)> late) {
    auto discovery = std::make_shared<Discovery>();
    discovery->late = std::move(late);
    // Counted from before the thread exists until after its last touch of `discovery`.
    auto alive = std::make_unique<WorkerThreadToken>();
    try {
        std::thread([discovery, alive = std::move(alive)] {
            DiscoveredPrinters printers = Ask();
            std::unique_lock<std::mutex> lock(discovery->mutex);
            discovery->printers = printers;
            discovery->done = true;
            discovery->answered.notify_all();
            const bool handOn = discovery->givenUp && discovery->late;
            lock.unlock();
            if (handOn) {
                discovery->late(printers);
            }
        }).detach();
    } catch (const std::system_error&) {
        return Ask();  // no thread to be had: ask here, as long as it takes
    }

    std::unique_lock<std::mutex> lock(discovery->mutex);
    if (!discovery->answered.wait_for(lock, limit, [&] { return discovery->done; })) {
        discovery->givenUp = true;
        return DiscoveredPrinters();
    }
    return discovery->printers;
}

const DiscoveredPrinters& PrinterApp::DiscoveredPrinterList() {
    // One discovery for both questions, so a silent print system costs the wait once.
    if (!printers) {
        Bind(kLatePrinters, &PrinterApp::OnLatePrinters, this);
        printers = DiscoverPrinters(kPrinterDiscoveryLimit, [this](const DiscoveredPrinters& late) {
            // Goes nowhere once the application has closed its sink.
            QueueThreadEvent(this, kLatePrinters, late);
        });
    }
    return *printers;
}

wxString PrinterApp::GetDefaultPrinterName() {
    return DiscoveredPrinterList().defaultName;
}

wxArrayString PrinterApp::GetPrinterNames() {
    return DiscoveredPrinterList().names;
}

void PrinterApp::OnLatePrinters(wxThreadEvent& event) {
    printers = event.GetPayload<DiscoveredPrinters>();
    if (frame != nullptr) {
        frame->AddPrinters(printers->defaultName, printers->names);
    }
}

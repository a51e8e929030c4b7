// The printer list from CUPS: every destination the scheduler and the user's lpoptions
// give, in their order.
#include <cups/cups.h>

#include <memory>

#include "pickup/printing/Printers.h"

namespace {

// The destinations of one cupsGetDests2 call, freed with the list.
class Destinations {
public:
    Destinations() : count(cupsGetDests2(CUPS_HTTP_DEFAULT, &dests)) {}
    ~Destinations() { cupsFreeDests(count, dests); }
    Destinations(const Destinations&) = delete;
    Destinations& operator=(const Destinations&) = delete;

    const cups_dest_t* begin() const { return dests; }
    const cups_dest_t* end() const { return dests + count; }

private:
    cups_dest_t* dests = nullptr;
    int count = 0;
};

struct DestFree {
    void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};

// The name lp -d takes: "queue", or "queue/instance" for an lpoptions instance.
wxString DestName(const cups_dest_t& dest) {
    wxString name = wxString::FromUTF8(dest.name);
    if (dest.instance != nullptr && dest.instance[0] != '\0') {
        name += "/" + wxString::FromUTF8(dest.instance);
    }
    return name;
}

}  // namespace

wxString QueryDefaultPrinterName() {
    {
        const Destinations destinations;
        for (const cups_dest_t& dest : destinations) {
            if (dest.is_default) {
                return DestName(dest);
            }
        }
    }
    // No default among the listed ones: ask for it by itself (PRINTER, LPDEST, the server).
    const std::unique_ptr<cups_dest_t, DestFree> dest(
        cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr));
    return dest ? DestName(*dest) : wxString();
}

wxArrayString QueryPrinterNames() {
    wxArrayString names;
    const Destinations destinations;
    for (const cups_dest_t& dest : destinations) {
        names.Add(DestName(dest));
    }
    return names;
}

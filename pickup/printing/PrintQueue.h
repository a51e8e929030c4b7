#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>

#include <wx/string.h>

// The documents waiting for their print program: one program at a time per printer, in the
// order the documents arrived, so that a burst never starts dozens of programs at once and
// the print system receives the jobs in order.
class PrintQueue {
public:
    struct Item {
        wxString file;          // the copy in the outbox
        wxString documentName;  // its name on the server
        wxString printer;       // chosen when it arrived
        bool earlier = false;   // left by an earlier run
    };
    struct Started {
        long serial;  // names the running job in Ended
        Item item;
    };

    void Add(Item item);
    // The oldest document whose printer has nothing running, now counted as running; nothing
    // when every waiting document's printer is busy.
    std::optional<Started> NextToStart();
    // The job `serial` has ended: its printer is free again. Returns its item (nothing for an
    // unknown serial).
    std::optional<Item> Ended(long serial);

    std::size_t Waiting() const { return waiting.size(); }
    std::size_t Running() const { return running.size(); }

private:
    std::deque<Item> waiting;
    std::map<long, Item> running;
    long lastSerial = 0;
};

#include "app/SessionEnd.h"

#include <atomic>

namespace {

// Set from a signal handler: it must be lock-free.
std::atomic<bool> noticed{false};
static_assert(std::atomic<bool>::is_always_lock_free);

}  // namespace

void NoteSessionEnd() {
    noticed.store(true);
}

bool SessionEndNoticed() {
    return noticed.load();
}

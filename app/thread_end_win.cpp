#include "app/ThreadEnd.h"

// MinGW runs the destructors of thread_local objects after its runtime has let go of the
// thread, and they crash there (seen under Wine with every detached worker); the action
// therefore runs at once.
void RunAtThreadEnd(void (*action)()) {
    action();
}

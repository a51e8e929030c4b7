#include "app/ThreadEnd.h"

namespace {

struct AtThreadEnd {
    void (*action)() = nullptr;
    int pending = 0;
    ~AtThreadEnd() {
        for (; pending > 0; --pending) {
            action();
        }
    }
};

}  // namespace

void RunAtThreadEnd(void (*action)()) {
    thread_local AtThreadEnd atEnd;
    atEnd.action = action;
    ++atEnd.pending;
}

#include "app/SessionEnd.h"

// The toolkit turns WM_QUERYENDSESSION and WM_ENDSESSION into events of the application
// object, even while one of the program's message boxes is open.
std::unique_ptr<SessionEndWatch> WatchSessionEnd(std::function<void(const std::string&)>,
                                                 std::function<void()>) {
    return std::make_unique<SessionEndWatch>();
}

#pragma once

#include <functional>
#include <memory>

#include <wx/string.h>

class wxSingleInstanceChecker;

// Where the copies of one user's desktop session meet: the name and folder of the lock the
// first copy holds, and the name under which it listens for later copies.
struct InstancePlace {
    wxString lockName;
    wxString lockFolder;  // empty: the toolkit's default
    wxString service;
};

// The first copy's listener; it stops listening when destroyed.
class ShowListener {
public:
    virtual ~ShowListener() = default;
};

// Per platform: a lock in the session's namespace, a service only this session reaches, and
// the small message by which a later copy asks the first one to show its window.
InstancePlace SessionInstancePlace();
std::unique_ptr<ShowListener> ListenForShowRequests(const InstancePlace& place,
                                                    std::function<void()> show);
bool RequestShow(const InstancePlace& place);  // false when the first copy was not reached

// One copy of the program per desktop session. A later copy finds the lock taken, asks the
// first copy to bring its window to the front, and ends without showing a window of its own.
class SingleInstance {
public:
    SingleInstance();
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    bool AnotherCopyRuns() const;

    // Asks the running copy to show its window; false when it could not be reached.
    bool AskToShow() const;

    // The first copy: `show` runs on the user-interface thread whenever a later copy asks.
    void Listen(std::function<void()> show);

private:
    InstancePlace place;
    std::unique_ptr<wxSingleInstanceChecker> checker;
    std::unique_ptr<ShowListener> listener;
};

// The first copy takes the lock before it listens, and a later copy may come in between: it
// tries this often, this many milliseconds apart.
constexpr int kShowRequestAttempts = 20;
constexpr int kShowRequestPause = 250;

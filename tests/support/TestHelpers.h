#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>

// Small pieces every test area needs.

// Processes the user-interface thread's pending events (and lets the toolkit report ended
// child processes) until `done` holds; false when `limit` passed first.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(60));

// Runs `command` through the shell and returns its standard output; throws
// std::runtime_error when it cannot run or exits with a failure.
std::string RunForOutput(const std::string& command);

// The "key=value" lines of a fixture script's output.
std::map<std::string, std::string> KeyValues(const std::string& text);

// A whole file, byte for byte (empty when it cannot be read).
std::string ReadAll(const std::string& path);

// Sets (or, with a null value, unsets) an environment variable for the object's lifetime.
class ScopedEnv {
public:
    ScopedEnv(const std::string& name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name;
    bool had;
    std::string old;
};

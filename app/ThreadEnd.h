#pragma once

// Runs `action` when the calling thread ends, after everything it still does on its way out;
// where the platform offers no safe way to do that, runs it at once.
void RunAtThreadEnd(void (*action)());

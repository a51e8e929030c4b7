#pragma once

class wxApp;

// Not used by most tests: the toolkit runs a plain wxApp, and window tests make their own
// PrinterApp objects.
void SetTestAppFactory(wxApp* (*factory)());

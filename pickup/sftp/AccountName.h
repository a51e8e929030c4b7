#pragma once

#include <string>

// The server's user name for a typed account ID: letters, digits and "-" are kept, "@"
// becomes "_at_", "." becomes "_dot_" and every other byte "_". ASCII rules only, so the
// result does not depend on the locale. Not reversible.
std::string EncodeAccountName(const std::string& accountId);

#pragma once

#include <string>
#include <vector>

// The typed account ID and password arrive as UTF-8 (see app/NarrowText.h). SSH sends
// passwords as UTF-8, but the account names on the server were made from the bytes the
// platform's older clients sent.

// The bytes the account's name is encoded from (EncodeAccountName): on Windows the ANSI
// code page's, a character the page lacks giving "?"; elsewhere the UTF-8 bytes as they are.
std::string AccountIdBytes(const std::string& accountId);

// The forms of the password to offer, in this order: UTF-8 always; on Windows then the
// ANSI code page's form, for a server that kept an older client's bytes, when it differs
// and the page holds every character.
std::vector<std::string> PasswordForms(const std::string& password);

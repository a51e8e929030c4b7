#include "pickup/sftp/LoginText.h"

std::string AccountIdBytes(const std::string& accountId) {
    return accountId;
}

std::vector<std::string> PasswordForms(const std::string& password) {
    return {password};
}

// Who logs on: the user name and the password in clear, as the settings
// hold them once decoded.
#pragma once

#include <string>

struct MailAccount {
    std::string user;
    std::string password;
};

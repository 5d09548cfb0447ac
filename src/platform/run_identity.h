// Who runs this process, in the words a log reader needs: the account and whether its token is elevated.
#pragma once

#include <string>

struct RunIdentity {
    std::string account;  // "DOMAIN\user" (UTF-8), or the SID's text when the name cannot be looked up
    std::string sid;      // "S-1-5-18"; empty when the token cannot be read
    bool elevated = false;
};

// Read from the process token; never throws. An unreadable token gives an empty account.
RunIdentity currentRunIdentity();

#pragma once
// The card's login accounts and SNMP users as plain data, without their passwords: a reader
// that only lists them never keeps a password it does not need.
#include <string>
#include <vector>

namespace vorl {
class CardSession;
}

namespace vorl::cardread {

struct SnmpUser {
    std::string name;
    std::string authProtocol;  // "MD5" or "SHA"
    std::string privProtocol;  // "DES" or "NONE"
};

// The login names, in the card's order (command 0x0503: names alone). The status.
int readUserNames(CardSession& session, std::vector<std::string>& names);

// The SNMP users; their passwords are dropped as soon as they are read. The status.
int readSnmpUsers(CardSession& session, std::vector<SnmpUser>& users);

}  // namespace vorl::cardread

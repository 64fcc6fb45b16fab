// User accounts and SNMP users, group 0x05.
#include <cstring>

#include "protocol/card_session.h"
#include "protocol/record_exchange.h"
#include "protocol/text_field.h"

namespace vorl {
namespace {
constexpr uint16_t kAddUser = 0x0500;
constexpr uint16_t kDeleteUser = 0x0501;
constexpr uint16_t kListUsers = 0x0502;
constexpr uint16_t kListUserNames = 0x0503;
constexpr uint16_t kAddSnmpUser = 0x0506;
constexpr uint16_t kListSnmpUsers = 0x0507;
constexpr uint32_t kListBufferSize = 16384;

// The list answers are staged, so a card that sends more entries than the caller holds cannot
// overrun it; the count stops at the caller's capacity. `take(i, list, total)` copies entry i
// of the `total` the card sent.
template <class Take>
int fetchList(CardSession& session, uint16_t command, uint32_t entrySize, int capacity, int& count,
              Take take) {
    uint8_t staging[kListBufferSize] = {};
    uint32_t responseLength = 0;
    const int status = session.transact(command, staging, 0, responseLength, 0, kListBufferSize);
    const uint32_t total = responseLength / entrySize;
    count = total > static_cast<uint32_t>(capacity) ? capacity : static_cast<int>(total);
    for (int i = 0; i < count; ++i) take(i, staging, total);
    return status;
}
}  // namespace

void setField(char* field, size_t width, const std::string& text) {
    putTextField(reinterpret_cast<uint8_t*>(field), width, text);
}

std::string fieldText(const char* field, size_t width) {
    return getTextField(reinterpret_cast<const uint8_t*>(field), width);
}

void UserRecord::encode(uint8_t* out) const {
    std::memcpy(out, name, 32);
    std::memcpy(out + 32, password, 32);
}

void SnmpUserRecord::encode(uint8_t* out) const {
    std::memcpy(out, name, 32);
    std::memcpy(out + 32, authProtocol, 32);
    std::memcpy(out + 64, privProtocol, 32);
    std::memcpy(out + 96, password, 32);
}

int CardSession::addUser(std::string_view userName, std::string_view password) {
    UserRecord record;
    setField(record.name, sizeof record.name, std::string(userName));
    setField(record.password, sizeof record.password, std::string(password));
    return addUser(record);
}

int CardSession::addUser(const UserRecord& record) {
    return sendRecord(*this, kAddUser, record);
}

int CardSession::deleteUser(const UserRecord& record) {
    return sendRecord(*this, kDeleteUser, record);
}

int CardSession::listUserNames(char (*names)[32], int capacity, int& count) {
    return fetchList(
        *this, kListUserNames, 32, capacity, count,
        [&](int i, const uint8_t* list, uint32_t) { std::memcpy(names[i], list + 32 * i, 32); });
}

// Names first, then passwords: each column holds every entry.
int CardSession::listUsers(UserRecord* users, int capacity, int& count) {
    return fetchList(
        *this, kListUsers, 64, capacity, count, [&](int i, const uint8_t* list, uint32_t total) {
            users[i] = UserRecord{};
            setField(users[i].name, 32, getTextField(list + 32 * i, 32));
            setField(users[i].password, 32, getTextField(list + 32 * total + 32 * i, 32));
        });
}

int CardSession::addSnmpUser(const SnmpUserRecord& record) {
    return sendRecord(*this, kAddSnmpUser, record);
}

// Columns of names, passwords, then the two 8-byte protocol names.
int CardSession::listSnmpUsers(SnmpUserRecord* users, int capacity, int& count) {
    return fetchList(
        *this, kListSnmpUsers, 80, capacity, count,
        [&](int i, const uint8_t* list, uint32_t total) {
            users[i] = SnmpUserRecord{};
            setField(users[i].name, 32, getTextField(list + 32 * i, 32));
            setField(users[i].password, 32, getTextField(list + 32 * total + 32 * i, 32));
            setField(users[i].authProtocol, 32, getTextField(list + 64 * total + 8 * i, 8));
            setField(users[i].privProtocol, 32, getTextField(list + 72 * total + 8 * i, 8));
        });
}

}  // namespace vorl

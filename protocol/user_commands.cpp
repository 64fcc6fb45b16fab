// User accounts and SNMP users, group 0x05.
#include <cstring>

#include "protocol/card_session.h"
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

int clampCount(uint32_t responseLength, uint32_t elementSize, int capacity) {
    const uint32_t count = responseLength / elementSize;
    return count > static_cast<uint32_t>(capacity) ? capacity : static_cast<int>(count);
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
    uint8_t buffer[UserRecord::kSize];
    record.encode(buffer);
    uint32_t responseLength = 0;
    return transact(kAddUser, buffer, sizeof buffer, responseLength, 0, sizeof buffer);
}

int CardSession::deleteUser(const UserRecord& record) {
    uint8_t buffer[UserRecord::kSize];
    record.encode(buffer);
    uint32_t responseLength = 0;
    return transact(kDeleteUser, buffer, sizeof buffer, responseLength, 0, sizeof buffer);
}

// The list answers are staged, so a card that sends more entries than the caller holds cannot
// overrun it; the count stops at the caller's capacity.
int CardSession::listUserNames(char (*names)[32], int capacity, int& count) {
    uint8_t staging[kListBufferSize] = {};
    uint32_t responseLength = 0;
    const int status = transact(kListUserNames, staging, 0, responseLength, 0, kListBufferSize);
    count = clampCount(responseLength, 32, capacity);
    for (int i = 0; i < count; ++i) std::memcpy(names[i], staging + 32 * i, 32);
    return status;
}

int CardSession::listUsers(UserRecord* users, int capacity, int& count) {
    uint8_t staging[kListBufferSize] = {};
    uint32_t responseLength = 0;
    const int status = transact(kListUsers, staging, 0, responseLength, 0, kListBufferSize);
    const uint32_t total = responseLength / 64;
    count = clampCount(responseLength, 64, capacity);
    const uint8_t* base = staging;
    for (int i = 0; i < count; ++i) {
        users[i] = UserRecord{};
        setField(users[i].name, 32, getTextField(base + 32 * i, 32));
        setField(users[i].password, 32, getTextField(base + 32 * total + 32 * i, 32));
    }
    return status;
}

int CardSession::addSnmpUser(const SnmpUserRecord& record) {
    uint8_t buffer[SnmpUserRecord::kSize];
    record.encode(buffer);
    uint32_t responseLength = 0;
    return transact(kAddSnmpUser, buffer, sizeof buffer, responseLength, 0, sizeof buffer);
}

int CardSession::listSnmpUsers(SnmpUserRecord* users, int capacity, int& count) {
    uint8_t staging[kListBufferSize] = {};
    uint32_t responseLength = 0;
    const int status = transact(kListSnmpUsers, staging, 0, responseLength, 0, kListBufferSize);
    const uint32_t total = responseLength / 80;
    count = clampCount(responseLength, 80, capacity);
    const uint8_t* base = staging;
    for (int i = 0; i < count; ++i) {
        users[i] = SnmpUserRecord{};
        setField(users[i].name, 32, getTextField(base + 32 * i, 32));
        setField(users[i].password, 32, getTextField(base + 32 * total + 32 * i, 32));
        setField(users[i].authProtocol, 32, getTextField(base + 64 * total + 8 * i, 8));
        setField(users[i].privProtocol, 32, getTextField(base + 72 * total + 8 * i, 8));
    }
    return status;
}

}  // namespace vorl

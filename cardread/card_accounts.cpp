#include "cardread/card_accounts.h"

#include <memory>

#include "protocol/card_session.h"
#include "protocol/user_records.h"

namespace vorl::cardread {
namespace {
// As many entries as the card's largest list answer holds.
constexpr int kMaxNames = 512;
constexpr int kMaxSnmpUsers = 16384 / 80;

// Overwrites memory that held passwords; the volatile writes are not optimised away.
void wipe(void* memory, size_t size) {
    volatile unsigned char* bytes = static_cast<volatile unsigned char*>(memory);
    for (size_t i = 0; i < size; ++i) bytes[i] = 0;
}
}  // namespace

int readUserNames(CardSession& session, std::vector<std::string>& names) {
    names.clear();
    auto list = std::make_unique<char[][32]>(kMaxNames);
    int count = 0;
    const int status = session.listUserNames(list.get(), kMaxNames, count);
    if (status != 0) return status;
    for (int i = 0; i < count; ++i) {
        std::string name = fieldText(list[i], 32);
        if (!name.empty()) names.push_back(std::move(name));
    }
    return status;
}

int readSnmpUsers(CardSession& session, std::vector<SnmpUser>& users) {
    users.clear();
    auto list = std::make_unique<SnmpUserRecord[]>(kMaxSnmpUsers);
    int count = 0;
    const int status = session.listSnmpUsers(list.get(), kMaxSnmpUsers, count);
    for (int i = 0; status == 0 && i < count; ++i) {
        const SnmpUserRecord& record = list[i];
        if (record.name[0] == '\0') continue;
        users.push_back({fieldText(record.name, 32), fieldText(record.authProtocol, 32),
                         fieldText(record.privProtocol, 32)});
    }
    wipe(list.get(), sizeof(SnmpUserRecord) * kMaxSnmpUsers);
    return status;
}

}  // namespace vorl::cardread

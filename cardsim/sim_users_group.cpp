#include "cardsim/sim_users_group.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cardsim/sim_groups.h"
#include "cardsim/sim_state_file.h"
#include "platform/md5.h"
#include "protocol/text_field.h"
#include "wire/status_codes.h"

namespace vorl::sim {
namespace {

// The card's own command table, kept apart from protocol/ on purpose (sim_groups.h).
constexpr uint16_t kAddUser = 0x0500;
constexpr uint16_t kDeleteUser = 0x0501;
constexpr uint16_t kListUsers = 0x0502;
constexpr uint16_t kListUserNames = 0x0503;
constexpr uint16_t kAddSnmpUser = 0x0506;
constexpr uint16_t kListSnmpUsers = 0x0507;

constexpr size_t kField = 32;
constexpr size_t kShortField = 8;  // protocols in the 0x0507 answer
constexpr size_t kUserRecord = 64;
constexpr size_t kSnmpRecord = 128;

// users.dat: magic, account count, SNMP user count, then the records as they travel in
// 0x0500 (name, password) and 0x0506 (name, auth, priv, password).
constexpr uint8_t kMagic[8] = {'V', 'O', 'R', 'L', 'U', 'S', 'R', '1'};
constexpr size_t kFileHeader = sizeof kMagic + 2;
constexpr size_t kMaxFileSize = kFileHeader + SimUsersGroup::kMaxAccounts * kUserRecord +
                                SimUsersGroup::kMaxSnmpUsers * kSnmpRecord;

template <class List>
bool contains(const List& list, const std::string& name) {
    return std::any_of(list.begin(), list.end(), [&](const auto& u) { return u.name == name; });
}

bool validAuth(const std::string& p) {
    return p == "MD5" || p == "SHA";
}
bool validPriv(const std::string& p) {
    return p == "DES" || p == "NONE";
}

}  // namespace

void SimUsersGroup::handle(const SimRequest& request, SimReply& reply) {
    reply.length = 0;
    switch (request.command) {
        case kAddUser:
            reply.status = addAccount(request);
            break;
        case kDeleteUser:
            reply.status = deleteAccount(request);
            break;
        case kListUsers:
            listAccounts(reply, true);
            break;
        case kListUserNames:
            listAccounts(reply, false);
            break;
        case kAddSnmpUser:
            reply.status = addSnmpUser(request);
            break;
        case kListSnmpUsers:
            listSnmpUsers(reply);
            break;
        default:
            reply.status = kStatusUnsupported;
            return;
    }
    reply.stateChanged = reply.status == kStatusSuccess &&
                         (request.command == kAddUser || request.command == kDeleteUser ||
                          request.command == kAddSnmpUser);
}

uint16_t SimUsersGroup::addAccount(const SimRequest& request) {
    if (request.length < kUserRecord) return kStatusInvalidArgument;
    Account account{getTextField(request.payload, kField),
                    getTextField(request.payload + kField, kField)};
    if (account.name.empty()) return kStatusInvalidArgument;
    if (contains(accounts_, account.name)) return kStatusAlreadyExists;
    if (accounts_.size() >= kMaxAccounts) return kStatusInsufficientSpace;
    accounts_.push_back(std::move(account));
    return kStatusSuccess;
}

uint16_t SimUsersGroup::deleteAccount(const SimRequest& request) {
    // Only the name selects the account; the password field is not looked at.
    if (request.length < kField) return kStatusInvalidArgument;
    const std::string name = getTextField(request.payload, kField);
    if (name.empty()) return kStatusInvalidArgument;
    const auto it = std::find_if(accounts_.begin(), accounts_.end(),
                                 [&](const Account& a) { return a.name == name; });
    if (it == accounts_.end()) return kStatusResourceNotExist;
    accounts_.erase(it);
    return kStatusSuccess;
}

uint16_t SimUsersGroup::addSnmpUser(const SimRequest& request) {
    if (request.length < kSnmpRecord) return kStatusInvalidArgument;
    const uint8_t* p = request.payload;
    SnmpUser user;
    user.name = getTextField(p, kField);
    user.authProtocol = getTextField(p + kField, kField);
    user.privProtocol = getTextField(p + 2 * kField, kField);
    user.password = getTextField(p + 3 * kField, kField);
    if (user.name.empty() || !validAuth(user.authProtocol) || !validPriv(user.privProtocol))
        return kStatusInvalidArgument;
    if (contains(snmpUsers_, user.name)) return kStatusAlreadyExists;
    if (snmpUsers_.size() >= kMaxSnmpUsers) return kStatusInsufficientSpace;
    snmpUsers_.push_back(std::move(user));
    return kStatusSuccess;
}

void SimUsersGroup::listAccounts(SimReply& reply, bool withPasswords) const {
    const size_t n = accounts_.size();
    for (size_t i = 0; i < n; ++i) {
        putTextField(reply.payload + kField * i, kField, accounts_[i].name);
        if (withPasswords)
            putTextField(reply.payload + kField * (n + i), kField, accounts_[i].password);
    }
    reply.length = static_cast<uint32_t>(kField * n * (withPasswords ? 2 : 1));
    reply.status = kStatusSuccess;
}

void SimUsersGroup::listSnmpUsers(SimReply& reply) const {
    const size_t n = snmpUsers_.size();
    uint8_t* out = reply.payload;
    for (size_t i = 0; i < n; ++i) {
        const SnmpUser& u = snmpUsers_[i];
        putTextField(out + kField * i, kField, u.name);
        putTextField(out + kField * (n + i), kField, u.password);
        putTextField(out + 2 * kField * n + kShortField * i, kShortField, u.authProtocol);
        putTextField(out + 2 * kField * n + kShortField * (n + i), kShortField, u.privProtocol);
    }
    reply.length = static_cast<uint32_t>((2 * kField + 2 * kShortField) * n);
    reply.status = kStatusSuccess;
}

bool SimUsersGroup::checkLogin(const std::string& name, const uint8_t* digest,
                               const uint8_t* challenge) const {
    for (const Account& account : accounts_) {
        if (account.name != name) continue;
        uint8_t input[kField + 8];
        const size_t length = account.password.size();  // at most 32 (a text field)
        std::memcpy(input, account.password.data(), length);
        std::memcpy(input + length, challenge, 8);
        uint8_t expected[16];
        if (!platform::md5(input, length + 8, expected)) return false;
        return std::memcmp(expected, digest, sizeof expected) == 0;
    }
    return false;
}

void SimUsersGroup::setDefaults() {
    accounts_ = {Account{kDefaultUser, kDefaultPassword}};
    snmpUsers_.clear();
}

void SimUsersGroup::save(const std::filesystem::path& dir) const {
    std::vector<uint8_t> bytes(
        kFileHeader + accounts_.size() * kUserRecord + snmpUsers_.size() * kSnmpRecord, 0);
    std::memcpy(bytes.data(), kMagic, sizeof kMagic);
    bytes[sizeof kMagic] = static_cast<uint8_t>(accounts_.size());
    bytes[sizeof kMagic + 1] = static_cast<uint8_t>(snmpUsers_.size());
    uint8_t* p = bytes.data() + kFileHeader;
    for (const Account& a : accounts_) {
        putTextField(p, kField, a.name);
        putTextField(p + kField, kField, a.password);
        p += kUserRecord;
    }
    for (const SnmpUser& u : snmpUsers_) {
        putTextField(p, kField, u.name);
        putTextField(p + kField, kField, u.authProtocol);
        putTextField(p + 2 * kField, kField, u.privProtocol);
        putTextField(p + 3 * kField, kField, u.password);
        p += kSnmpRecord;
    }
    std::string error;
    if (!writeStateFile(dir / kFileName, bytes, error))
        std::fprintf(stderr, "vorlsim: users not saved: %s\n", error.c_str());
}

void SimUsersGroup::load(const std::filesystem::path& dir) {
    const std::filesystem::path file = dir / kFileName;
    std::vector<uint8_t> bytes;
    std::string error;
    if (!readStateFile(file, kMaxFileSize, bytes, error)) {
        if (!error.empty())
            std::fprintf(stderr, "vorlsim: %s, default users kept\n", error.c_str());
        return;
    }
    const bool headerOk =
        bytes.size() >= kFileHeader && std::memcmp(bytes.data(), kMagic, sizeof kMagic) == 0;
    const size_t nAccounts = headerOk ? bytes[sizeof kMagic] : 0;
    const size_t nSnmp = headerOk ? bytes[sizeof kMagic + 1] : 0;
    if (!headerOk || nAccounts > kMaxAccounts || nSnmp > kMaxSnmpUsers ||
        bytes.size() != kFileHeader + nAccounts * kUserRecord + nSnmp * kSnmpRecord) {
        std::fprintf(stderr, "vorlsim: %s is damaged, default users kept\n", file.string().c_str());
        return;
    }
    std::vector<Account> accounts;
    std::vector<SnmpUser> snmpUsers;
    const uint8_t* p = bytes.data() + kFileHeader;
    for (size_t i = 0; i < nAccounts; ++i, p += kUserRecord)
        accounts.push_back({getTextField(p, kField), getTextField(p + kField, kField)});
    for (size_t i = 0; i < nSnmp; ++i, p += kSnmpRecord) {
        snmpUsers.push_back({getTextField(p, kField), getTextField(p + 3 * kField, kField),
                             getTextField(p + kField, kField),
                             getTextField(p + 2 * kField, kField)});
    }
    accounts_ = std::move(accounts);
    snmpUsers_ = std::move(snmpUsers);
}

std::unique_ptr<SimGroup> makeUsersGroup(SimCard&, SimOptions&) {
    return std::make_unique<SimUsersGroup>();
}

}  // namespace vorl::sim

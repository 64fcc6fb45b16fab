#pragma once
// What the service keeps under its state directory across restarts (service.json): its UUID,
// the session timeout set through SessionService, and the accounts created through
// AccountService (the configuration file's accounts stay in that file). Every change is written
// at once, to a new file renamed over the old one, so a crash never leaves half a file.
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "redfish/privileges.h"

namespace vorl::redfish {

struct StoredAccount {
    std::string name;
    std::string passwordHash;  // bcrypt
    Role role = Role::ReadOnly;
};

class ServiceState {
public:
    // Creates the folder (mode 0700) when missing and reads service.json when present; a new
    // state gets a fresh UUID and is written at once. False with the reason in `error` (a
    // folder that cannot be written, a damaged file).
    bool open(const std::string& directory, std::string& error);

    std::string uuid() const;
    std::optional<int> sessionTimeoutSeconds() const;
    std::vector<StoredAccount> accounts() const;

    // Each writes the file; false (and the state unchanged) when it could not be written.
    bool setSessionTimeoutSeconds(int seconds);
    bool setAccounts(std::vector<StoredAccount> accounts);

    const std::string& directory() const { return directory_; }

    // Another part's own file `name` (no slashes) in the directory, written the same way: to a
    // new file (mode 0600) renamed over the old one. False when it could not be written.
    bool writeFile(const std::string& name, const std::string& text) const;
    // That file's content; none when it is missing, or with the reason in `error` when it
    // cannot be read or holds more than `maxBytes`.
    std::optional<std::string> readFile(const std::string& name, size_t maxBytes,
                                        std::string& error) const;

private:
    struct Content {
        std::string uuid;
        std::optional<int> sessionTimeoutSeconds;
        std::vector<StoredAccount> accounts;
    };
    bool write(const Content& content) const;

    mutable std::mutex mutex_;
    std::string directory_;
    Content content_;
};

// A random (version 4) UUID in its text form.
std::string randomUuid();

}  // namespace vorl::redfish

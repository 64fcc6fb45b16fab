#pragma once
// vorl_redfish's configuration file: where the service keeps its state, the cards it shows
// (each with the login it uses on the card) and the service's own accounts. Read once at start;
// a file that does not check out is refused whole, with its name, line and reason.
#include <chrono>
#include <string>
#include <vector>

#include "redfish/privileges.h"

namespace vorl::redfish {

struct CardConfig {
    std::string id;       // the Redfish id of the card's Manager, System and Chassis
    std::string address;  // dotted IPv4; the card's port is 6577
    std::string user;
    std::string password;  // from password_file; never shown in an answer, a log line or an error
};

struct AccountConfig {
    std::string name;
    std::string passwordHash;  // bcrypt
    Role role = Role::ReadOnly;
};

// The event service: how often cards' event logs are read, how deliveries are retried, and
// what subscribers may cost.
struct EventConfig {
    // Each card's event log, sensors and reachability; 0: cards are not watched.
    std::chrono::milliseconds pollInterval{10000};
    int retryAttempts = 3;  // retries of one event before suspending
    std::chrono::milliseconds retryInterval{30000};
    std::chrono::milliseconds deliveryTimeout{10000};  // one delivery, connect to answer
    size_t maxSubscriptions = 32;
    size_t maxStreams = 16;  // Server-Sent Event clients at once
    // An https subscriber's certificate is checked against the system's trust store and the
    // destination's host; false accepts any (subscribers with self-signed certificates).
    bool verifyCertificates = true;
};

struct RedfishConfig {
    std::string stateDir = "/var/lib/vorl_redfish";
    std::vector<CardConfig> cards;
    std::vector<AccountConfig> accounts;
    // Every answer that needs a card is bounded by this (connection, login and exchanges).
    std::chrono::milliseconds cardTimeout{10000};
    // How long a polled reading (health, sensors, power state) is served from memory.
    std::chrono::milliseconds cacheTime{5000};
    // A session unused this long is logged out (what SessionService shows until changed there).
    std::chrono::seconds sessionTimeout{1800};
    // Firmware updates that flash cards at the same time; more wait their turn.
    int parallelUpdates = 4;
    // SimpleUpdate may name file:// images only inside this folder; empty: file:// refused.
    std::string updateFileDir;
    // A SimpleUpdate's whole download of its image (connection, request, body) is bounded by this.
    std::chrono::milliseconds downloadTimeout{60000};
    EventConfig events;
    // What is allowed but unwise (a password file others may read), for the start-up log.
    std::vector<std::string> warnings;
};

// Reads `path`; false with "PATH:LINE: reason" in `error`. Relative password files are found
// beside the configuration file.
bool loadRedfishConfig(const std::string& path, RedfishConfig& config, std::string& error);
// The same from the YAML `text`; `name` stands for the file in messages.
bool parseRedfishConfig(const std::string& text, const std::string& name,
                        const std::string& baseDir, RedfishConfig& config, std::string& error);

// Exactly four decimal numbers 0..255 separated by dots, no leading zeros, no blanks, nothing
// else (an address, a netmask or a gateway a card is to take).
bool isStrictCardAddress(const std::string& text);

// Card ids become parts of URIs: 1 to 64 letters, digits, "-" or "_".
bool isValidCardId(const std::string& id);
// The service's account names, parts of URIs too: as card ids, and "." as well.
bool isValidAccountName(const std::string& name);

}  // namespace vorl::redfish

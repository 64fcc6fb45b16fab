#pragma once
// What the card accepts in the texts an administrator types: addresses, account names and
// passwords, card names, MAC addresses, and the words of the modem and automatic server restart
// settings. The library gives the verdict; each program keeps its own messages.
#include <cstdint>
#include <string_view>

namespace vorl {

// Case-insensitive comparison of whole words (ASCII letters only).
bool equalsIgnoringCase(std::string_view word, std::string_view keyword);

// An address as "%03d.%03d.%03d.%03d" reads it: four numbers of at most three characters, each
// 0..255, separated by "."; text after the fourth number is ignored. A text longer than 31
// characters is refused too, since it could not be sent in its 32-byte field.
bool isValidIpText(std::string_view text);

// Every character a letter, a digit, "-" or "_" (the empty text passes): the rule for account
// names and passwords.
bool isValidAccountText(std::string_view text);

// At most 32 characters, each a letter, a digit, "*", "-" or "_" (the empty name is valid).
bool isValidCardName(std::string_view name);

// Exactly 17 characters: six pairs of hexadecimal digits (either case) separated by ":".
bool isExactMacText(std::string_view text);

// The modem ports the card has and the speeds it can set them to.
inline constexpr std::string_view kModemPorts[] = {"ttyS2", "ttyS3"};
inline constexpr std::string_view kModemSpeeds[] = {"9600", "19200", "38400", "57600"};
bool isModemPort(std::string_view word);
bool isModemSpeed(std::string_view word);

// The automatic server restart words, compared without regard to case: "ENABLED" / "DISABLED"
// give the AsrState, "POWERCYCLE" / "RESET" the AsrMethod (protocol/advanced_records.h).
// False, leaving `value` alone, for any other word.
bool readAsrState(std::string_view word, uint8_t& value);
bool readAsrMethod(std::string_view word, uint8_t& value);

}  // namespace vorl

#pragma once
// -flash -compare and -flash -modules: an image's six modules set against the card's sections,
// and a flash of exactly the modules whose version differs (the configuration program's module
// mode, for scripts).
#include <string>

namespace vorl {
class CardSession;
}

namespace vorl::cli {

class Report;

// Validates the image, reads the card's six sections and compares. 0 when compared; the status
// of a failed section request (the comparison is then incomplete); -1 after its message when the
// image is not valid or cannot be opened.
int compareImage(CardSession& session, const std::string& path, Report& report);

// Compares as compareImage, then flashes the modules whose version differs: asks the firmware
// flash question, makes the configuration permanent, keeps the MAC address and resets the card
// with its configuration defaults, as the configuration program does. Writes nothing and
// returns 28 when a module's allocation does not match (a complete flash is needed); returns 0
// with nothing written when no module differs or the user declines.
int flashModules(CardSession& session, const std::string& path, Report& report);

}  // namespace vorl::cli

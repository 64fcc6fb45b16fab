#pragma once
// The procedures of the command-line tool that change or copy the card's flash. They run on the
// caller's thread and tell a FlashListener what happens, step by step, so that the tool can
// print its lines in between; they print nothing themselves.
#include <cstddef>
#include <cstdint>
#include <string>

#include "firmware/flash_events.h"

namespace vorl {

class CardSession;

// Full update: validates the image, saves the MAC address, writes block 0 (only when
// `flashBootBlock`) and blocks 1..63 in order, writes the MAC address back (skipped when it
// could not be read), then resets the card keeping (`retainConfig`) or dropping its
// configuration. Returns the reset's status, -1 for a local file failure, or the status of a
// failed block write; after a failed block nothing is written back and no reset is sent.
int updateFirmware(CardSession& session, const std::string& imagePath, bool flashBootBlock,
                   bool retainConfig, FlashListener& listener);

// Reads blocks 0..63 into a new (or truncated) file. 0; -1 when the file cannot be created or
// a write falls short; the status of a failed block read.
int readFlashToFile(CardSession& session, const std::string& path, FlashListener& listener);

// Writes a valid image's 64 blocks without MAC handling or reset: 0; 28 for any validation
// failure; 14 when the file cannot be opened; 21 on a short read; 30 on a failed write.
int writeImageToFlash(CardSession& session, const std::string& imagePath);

// Reads the card's 64 blocks over an existing valid image file: 0; 28 when the target is not a
// valid image (the file is left alone); 14 when it cannot be created; 30 on a failed block
// read; 21 on a short write.
int readFlashIntoImage(CardSession& session, const std::string& imagePath);

// 0 when `data` (`length` bytes, 65,536 expected) equals the card's block 0; 1 when it differs
// or the arguments are wrong (nothing sent then); the status of a failed block read.
int compareBootBlock(CardSession& session, const uint8_t* data, size_t length);

// Asks for the configuration section's layout: 0; the request's status; 30 when the section
// has no blocks or more than the flash holds (no layout to copy blocks by).
int configSectionLayout(CardSession& session, struct SectionInfo& info);

// Writes the card's configuration section to a file: 0; 14 when the file cannot be created;
// the status of the section request; 30 on a failed block read; 18 on a short write.
int saveConfigSection(CardSession& session, const std::string& path);

// Writes a file saved by saveConfigSection back into the configuration section: 0; -1 when
// the file cannot be opened, is shorter than a header or than the section, or its header's
// allocated size differs from the section's; the status of the section request or of the first
// failed block write. Nothing is written unless every check passed.
int restoreConfigSection(CardSession& session, const std::string& path, FlashListener& listener);

}  // namespace vorl

#pragma once
// Flash, sections, card mode and file store of the simulated card (group 0x06).
// - 64 blocks of 65,536 bytes, starting as the default image (firmware/image_builder.h); kept
//   in flash.bin in the state directory, where only changed blocks are rewritten.
// - 0x0601 checks the block number (26), the record length (28) and the CRC (34) before it
//   writes; 0x0602 answers the block with its CRC.
// - 0x0605 answers the section table of the default layout, with the version of each module
//   as booted: a restart reads the module headers of what was flashed.
// - 0x0607 puts the card in flash mode (mode 1); a block write marks it being flashed (2);
//   a restart returns it to normal (0). 0x0608 answers the mode byte.
// - 0x060A / 0x060B read and write files of the file store (files.bin in the state directory),
//   which starts with k8config/serverInfo.conf and /k8sdk/k8sdk.dat. Like a card's flash it
//   holds at most kMaxFiles files and kMaxStoreBytes bytes in all; a write beyond either is
//   refused with 18.
// Options: --flash-fail-block=N (writing block N fails with 21), --flash-vanish-after=N (the
// card is gone right after writing block N: the block is kept, the process ends unanswered),
// --write-image=PATH (writes the default image to PATH and exits).
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cardsim/sim_group.h"

namespace vorl::sim {

class SimFlashGroup : public SimGroup {
public:
    static constexpr const char* kFlashFile = "flash.bin";
    static constexpr const char* kFilesFile = "files.bin";
    static constexpr size_t kMaxFiles = 64;
    static constexpr size_t kMaxStoreBytes = 16u << 20;

    struct Faults {
        int failBlock = -1;    // a write of this block fails
        int vanishAfter = -1;  // the card is gone after this block was written
    };

    // `stateDir` (may be empty) is where a vanishing card leaves its last blocks.
    SimFlashGroup() : SimFlashGroup(Faults{}, {}) {}
    SimFlashGroup(Faults faults, std::filesystem::path stateDir);

    bool handles(uint16_t command) const override;
    void handle(const SimRequest& request, SimReply& reply) override;
    // The first call loads the default image and files; every call (a restart) boots what is
    // in the flash and returns the card to normal mode. Flash and files survive restarts.
    void setDefaults() override;
    void load(const std::filesystem::path& dir) override;
    void save(const std::filesystem::path& dir) const override;

    // For tests and other groups.
    const uint8_t* block(int n) const { return flash_.data() + static_cast<size_t>(n) * kBlock; }
    const std::vector<uint8_t>& flash() const { return flash_; }
    // The booted version of the module with this 8-byte signature (0: none booted).
    uint16_t runningVersion(const char* signature) const;
    uint8_t mode() const { return mode_; }
    // The file at `path`, or nullptr.
    const std::vector<uint8_t>* file(const std::string& path) const;
    void setFile(const std::string& path, std::vector<uint8_t> content);
    // Bytes held by every file of the store.
    size_t storeBytes() const;
    // Block numbers in the order they were written since start (tests).
    const std::vector<uint32_t>& writeLog() const { return writeLog_; }
    int saveConfigurationCount() const { return saveConfigurationCount_; }

private:
    static constexpr size_t kBlock = 65536;

    void boot();
    void writeBlock(const SimRequest& request, SimReply& reply);
    void readBlock(const SimRequest& request, SimReply& reply);
    void sectionInfo(const SimRequest& request, SimReply& reply) const;
    void readChunk(const SimRequest& request, SimReply& reply) const;
    void writeChunk(const SimRequest& request, SimReply& reply);
    void saveFiles(const std::filesystem::path& dir) const;
    void loadFiles(const std::filesystem::path& dir);

    Faults faults_;
    std::filesystem::path stateDir_;
    bool initialised_ = false;
    std::vector<uint8_t> flash_;
    std::map<std::string, uint16_t> running_;  // signature text -> booted version
    uint8_t mode_ = 0;
    std::map<std::string, std::vector<uint8_t>> files_;
    std::vector<uint32_t> writeLog_;
    int saveConfigurationCount_ = 0;
    // What save() still has to write; changed by save() itself.
    mutable std::vector<bool> dirtyBlocks_;
    mutable bool filesDirty_ = false;
};

}  // namespace vorl::sim

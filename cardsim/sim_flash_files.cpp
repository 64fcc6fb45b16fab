// The file store of the simulated card's flash group and the persistence of both.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "cardsim/sim_flash_group.h"
#include "cardsim/sim_state_file.h"
#include "firmware/flash_records.h"
#include "wire/status_codes.h"

namespace vorl::sim {
namespace {
constexpr size_t kChunk = kFlashBlockSize;
constexpr size_t kFlashSize = static_cast<size_t>(kFlashBlockCount) * kFlashBlockSize;
// files.bin: the store and, per file, 8 bytes of lengths and the path (at most 79 characters).
constexpr size_t kMaxFilesState =
    SimFlashGroup::kMaxStoreBytes + SimFlashGroup::kMaxFiles * (8 + FileChunkRecord::kMaxPath);

void putU32(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t b[4];
    putBe32(b, v);
    out.insert(out.end(), b, b + 4);
}

}  // namespace

size_t SimFlashGroup::storeBytes() const {
    size_t total = 0;
    for (const auto& entry : files_) total += entry.second.size();
    return total;
}

const std::vector<uint8_t>* SimFlashGroup::file(const std::string& path) const {
    const auto it = files_.find(path);
    return it == files_.end() ? nullptr : &it->second;
}

void SimFlashGroup::setFile(const std::string& path, std::vector<uint8_t> content) {
    files_[path] = std::move(content);
    filesDirty_ = true;
}

void SimFlashGroup::readChunk(const SimRequest& request, SimReply& reply) const {
    if (request.length < FileChunkRecord::kHeadSize) {
        reply.status = kStatusInvalidArgument;
        return;
    }
    const std::string path = getTextField(request.payload, FileChunkRecord::kPathWidth);
    const std::vector<uint8_t>* content = file(path);
    if (!content) {
        reply.status = kStatusNoSuchFile;
        return;
    }
    const uint16_t index = getBe16(request.payload + 80);
    const size_t start = static_cast<size_t>(index) * kChunk;
    const size_t end = start + kChunk < content->size() ? start + kChunk : content->size();
    const size_t length = start < end ? end - start : 0;

    std::memcpy(reply.payload, request.payload, FileChunkRecord::kPathWidth);
    putBe16(reply.payload + 80, index);
    putBe32(reply.payload + 82, static_cast<uint32_t>(length));
    putBe16(reply.payload + 86, end >= content->size() ? kChunkLast : kChunkMore);
    const uint8_t* data = content->data() + (length ? start : 0);
    putBe32(reply.payload + 88, FirmwareImage::crc32(length ? data : nullptr, length));
    if (length) std::memcpy(reply.payload + FileChunkRecord::kHeadSize, data, length);
    reply.length = static_cast<uint32_t>(FileChunkRecord::kHeadSize + length);
}

void SimFlashGroup::writeChunk(const SimRequest& request, SimReply& reply) {
    if (request.length != FileChunkRecord::kSize) {
        reply.status = kStatusInvalidArgument;
        return;
    }
    const std::string path = getTextField(request.payload, FileChunkRecord::kPathWidth);
    const uint16_t index = getBe16(request.payload + 80);
    const uint32_t length = getBe32(request.payload + 82);
    const uint16_t state = getBe16(request.payload + 86);
    const uint8_t* data = request.payload + FileChunkRecord::kHeadSize;
    if (path.empty() || length > kChunk) {
        reply.status = kStatusInvalidArgument;
        return;
    }
    if (FirmwareImage::crc32(length ? data : nullptr, length) != getBe32(request.payload + 88)) {
        reply.status = kStatusChecksumError;
        return;
    }
    const size_t start = static_cast<size_t>(index) * kChunk;
    // The store is bounded like the card's flash: a total size and a number of files.
    const auto existing = files_.find(path);
    const size_t oldSize = existing == files_.end() ? 0 : existing->second.size();
    const size_t kept = index == 0 ? 0 : oldSize;  // chunk 0 starts the file anew
    const size_t newSize = state != kChunkLast ? start + length : std::max(kept, start + length);
    if ((existing == files_.end() && files_.size() >= kMaxFiles) ||
        storeBytes() - oldSize + newSize > kMaxStoreBytes) {
        reply.status = kStatusInsufficientSpace;
        return;
    }
    std::vector<uint8_t>& content = files_[path];
    if (index == 0) content.clear();  // a new upload replaces the file
    if (content.size() < start + length) content.resize(start + length, 0);
    std::memcpy(content.data() + start, data, length);
    if (state != kChunkLast) content.resize(start + length);  // the last, short chunk
    filesDirty_ = true;
    reply.stateChanged = true;
}

void SimFlashGroup::load(const std::filesystem::path& dir) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (readStateFile(dir / kFlashFile, kFlashSize, bytes, error) && bytes.size() == kFlashSize) {
        flash_ = std::move(bytes);
        dirtyBlocks_.assign(kFlashBlockCount, false);
    } else if (!error.empty() || !bytes.empty()) {
        std::fprintf(stderr, "vorlsim: flash state ignored: %s\n",
                     error.empty() ? "flash.bin is not 4 MiB" : error.c_str());
    }
    loadFiles(dir);
    boot();
}

void SimFlashGroup::save(const std::filesystem::path& dir) const {
    const std::filesystem::path path = dir / kFlashFile;
    std::error_code ec;
    std::string error;
    if (!std::filesystem::exists(path, ec) || std::filesystem::file_size(path, ec) != kFlashSize) {
        if (!writeStateFile(path, flash_, error))
            std::fprintf(stderr, "vorlsim: flash not saved: %s\n", error.c_str());
        dirtyBlocks_.assign(kFlashBlockCount, false);
    } else {
        std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
        for (int n = 0; n < kFlashBlockCount && out; ++n) {
            if (!dirtyBlocks_[n]) continue;
            out.seekp(static_cast<std::streamoff>(n) * kChunk);
            out.write(reinterpret_cast<const char*>(block(n)), kChunk);
            dirtyBlocks_[n] = false;
        }
        out.flush();
        if (!out)
            std::fprintf(stderr, "vorlsim: flash blocks not saved to %s\n", path.string().c_str());
    }
    if (filesDirty_) saveFiles(dir);
}

// files.bin: per file a 4-byte path length, the path, a 4-byte size and the content.
void SimFlashGroup::saveFiles(const std::filesystem::path& dir) const {
    std::vector<uint8_t> out;
    for (const auto& [path, content] : files_) {
        putU32(out, static_cast<uint32_t>(path.size()));
        out.insert(out.end(), path.begin(), path.end());
        putU32(out, static_cast<uint32_t>(content.size()));
        out.insert(out.end(), content.begin(), content.end());
    }
    std::string error;
    if (!writeStateFile(dir / kFilesFile, out, error))
        std::fprintf(stderr, "vorlsim: files not saved: %s\n", error.c_str());
    filesDirty_ = false;
}

void SimFlashGroup::loadFiles(const std::filesystem::path& dir) {
    std::vector<uint8_t> in;
    std::string error;
    if (!readStateFile(dir / kFilesFile, kMaxFilesState, in, error)) {
        if (!error.empty()) std::fprintf(stderr, "vorlsim: files ignored: %s\n", error.c_str());
        return;
    }
    std::map<std::string, std::vector<uint8_t>> loaded;
    size_t at = 0;
    while (at < in.size()) {
        if (in.size() - at < 4) break;
        const uint32_t pathLength = getBe32(in.data() + at);
        at += 4;
        if (pathLength > in.size() - at || in.size() - at - pathLength < 4) break;
        std::string path(reinterpret_cast<const char*>(in.data() + at), pathLength);
        at += pathLength;
        const uint32_t size = getBe32(in.data() + at);
        at += 4;
        if (size > in.size() - at) break;
        loaded[path].assign(in.begin() + static_cast<long>(at),
                            in.begin() + static_cast<long>(at + size));
        at += size;
    }
    if (at != in.size()) {
        std::fprintf(stderr, "vorlsim: files ignored: %s is damaged\n", kFilesFile);
        return;
    }
    size_t total = 0;
    for (const auto& entry : loaded) total += entry.second.size();
    if (loaded.size() > kMaxFiles || total > kMaxStoreBytes) {
        std::fprintf(stderr, "vorlsim: files ignored: %s holds more than the store\n", kFilesFile);
        return;
    }
    files_ = std::move(loaded);
}

}  // namespace vorl::sim

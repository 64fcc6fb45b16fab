#include "cardsim/sim_state_file.h"

#include <fstream>
#include <system_error>

namespace vorl::sim {

bool writeStateFile(const std::filesystem::path& file, const std::vector<uint8_t>& bytes,
                    std::string& error) {
    std::filesystem::path temp = file;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = "cannot create " + temp.string();
            return false;
        }
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            error = "cannot write " + temp.string();
            out.close();
            std::error_code ignored;
            std::filesystem::remove(temp, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, file, ec);
    if (ec) {
        error = "cannot replace " + file.string() + ": " + ec.message();
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

bool readStateFile(const std::filesystem::path& file, size_t maxSize, std::vector<uint8_t>& bytes,
                   std::string& error) {
    error.clear();
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return false;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec) {
        error = "cannot read " + file.string() + ": " + ec.message();
        return false;
    }
    if (size > maxSize) {
        error = file.string() + " is too large";
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    bytes.assign(static_cast<size_t>(size), 0);
    if (!in ||
        !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
        error = "cannot read " + file.string();
        return false;
    }
    return true;
}

}  // namespace vorl::sim

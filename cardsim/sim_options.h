#pragma once
// vorlsim's command-line options. The core reads its own; every other "--key" or "--key=value"
// is kept for the module that asks for it, and one that no module asked for is an error.
// Keys are written without the leading "--" (take("stray-bytes")); a key given with it is the
// same key.
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vorl::sim {

class SimOptions {
public:
    // Adds an option seen on the command line ("--key" gives an empty value).
    void add(const std::string& key, const std::string& value) { values_[bare(key)] = value; }
    // The value of `key` if given, and marks it as used.
    std::optional<std::string> take(const std::string& key) {
        auto it = values_.find(bare(key));
        if (it == values_.end()) return std::nullopt;
        used_.insert(it->first);
        return it->second;
    }
    bool has(const std::string& key) const { return values_.count(bare(key)) != 0; }
    // The keys no module took.
    std::vector<std::string> unused() const {
        std::vector<std::string> keys;
        for (const auto& [key, value] : values_)
            if (!used_.count(key)) keys.push_back(key);
        return keys;
    }

private:
    static std::string bare(const std::string& key) {
        return key.rfind("--", 0) == 0 ? key.substr(2) : key;
    }

    std::map<std::string, std::string> values_;
    std::set<std::string> used_;
};

}  // namespace vorl::sim

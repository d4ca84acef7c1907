#pragma once
// Command line of kestrel-vdrive: a sub-command, "--name value" options,
// bare flags and "key=value" settings.
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace vdrive::tool {

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ToolArgs {
public:
    // Options listed in WithValue take the next word as their value.
    ToolArgs(int Argc, char** Argv, const std::set<std::string>& WithValue) {
        for (int i = 1; i < Argc; ++i) {
            std::string a = Argv[i];
            if (a.rfind("--", 0) == 0 || a == "-o") {
                std::string name = a == "-o" ? "--output" : a;
                if (auto eq = name.find('='); eq != std::string::npos) {
                    options_[name.substr(0, eq)] = name.substr(eq + 1);
                } else if (WithValue.count(name)) {
                    if (i + 1 >= Argc) throw UsageError(a + " needs a value");
                    options_[name] = Argv[++i];
                } else {
                    flags_.insert(name);
                }
            } else if (command_.empty()) {
                command_ = a;
            } else {
                words_.push_back(a);
            }
        }
    }
    const std::string& Command() const { return command_; }
    const std::vector<std::string>& Words() const { return words_; }
    bool Flag(const std::string& Name) const { return flags_.count(Name) != 0; }
    std::optional<std::string> Option(const std::string& Name) const {
        auto it = options_.find(Name);
        if (it == options_.end()) return std::nullopt;
        return it->second;
    }
    int Drive() const {
        auto v = Option("--drive");
        if (!v) return 0;
        try {
            size_t used = 0;
            int n = std::stoi(*v, &used);
            if (used == v->size() && n >= 0) return n;
        } catch (const std::exception&) {
        }
        throw UsageError("--drive needs a drive number, not \"" + *v + "\"");
    }
    // "key=value" words split in two.
    std::vector<std::pair<std::string, std::string>> Settings() const {
        std::vector<std::pair<std::string, std::string>> out;
        for (const auto& w : words_) {
            auto eq = w.find('=');
            if (eq == std::string::npos) throw UsageError("expected key=value, not \"" + w + "\"");
            out.emplace_back(w.substr(0, eq), w.substr(eq + 1));
        }
        return out;
    }

private:
    std::string command_;
    std::vector<std::string> words_;
    std::set<std::string> flags_;
    std::map<std::string, std::string> options_;
};

}  // namespace vdrive::tool

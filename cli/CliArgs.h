#pragma once
// A small command-line parser: long options with or without a value, and
// the rest as positional arguments ("--" ends the options).
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrel::cli {

struct TOptionSpec {
    std::string Name;          // "--drive", or a short form like "-o"
    bool TakesValue = false;
    std::string Alias;         // optional other spelling ("-o" for "--output")
};

class TParsedArgs {
public:
    bool Has(const std::string& Name) const { return values_.count(Name) > 0; }
    // The last value given for Name, or Default.
    std::string Value(const std::string& Name, const std::string& Default = "") const;
    std::optional<std::string> Optional(const std::string& Name) const;
    // An integer option; throws TUsageError with a clear text when malformed.
    long long Integer(const std::string& Name, long long Default) const;
    const std::vector<std::string>& Positional() const { return positional_; }

    void Add(const std::string& Name, const std::string& V) { values_[Name].push_back(V); }
    void AddPositional(const std::string& V) { positional_.push_back(V); }

private:
    std::map<std::string, std::vector<std::string>> values_;
    std::vector<std::string> positional_;
};

struct TUsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Parses Args against Specs; unknown options and missing values throw TUsageError.
TParsedArgs ParseArgs(const std::vector<std::string>& Args, const std::vector<TOptionSpec>& Specs);

}  // namespace kestrel::cli

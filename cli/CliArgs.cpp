#include "cli/CliArgs.h"

#include <cerrno>
#include <cstdlib>

namespace kestrel::cli {

std::string TParsedArgs::Value(const std::string& Name, const std::string& Default) const {
    auto it = values_.find(Name);
    return it == values_.end() || it->second.empty() ? Default : it->second.back();
}

std::optional<std::string> TParsedArgs::Optional(const std::string& Name) const {
    auto it = values_.find(Name);
    if (it == values_.end() || it->second.empty()) return std::nullopt;
    return it->second.back();
}

long long TParsedArgs::Integer(const std::string& Name, long long Default) const {
    auto text = Optional(Name);
    if (!text) return Default;
    errno = 0;
    char* end = nullptr;
    long long value = std::strtoll(text->c_str(), &end, 10);
    if (text->empty() || *end != '\0' || errno == ERANGE)
        throw TUsageError(Name + " takes a whole number, not \"" + *text + "\"");
    return value;
}

namespace {

const TOptionSpec* FindSpec(const std::string& Name, const std::vector<TOptionSpec>& Specs) {
    for (const auto& spec : Specs)
        if (spec.Name == Name || (!spec.Alias.empty() && spec.Alias == Name)) return &spec;
    return nullptr;
}

}  // namespace

TParsedArgs ParseArgs(const std::vector<std::string>& Args, const std::vector<TOptionSpec>& Specs) {
    TParsedArgs parsed;
    bool optionsEnded = false;
    for (size_t i = 0; i < Args.size(); ++i) {
        const std::string& arg = Args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            parsed.AddPositional(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg, inlineValue;
        bool hasInline = false;
        if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
            hasInline = true;
        }
        const TOptionSpec* spec = FindSpec(name, Specs);
        if (!spec) throw TUsageError("unknown option " + name);
        if (!spec->TakesValue) {
            if (hasInline) throw TUsageError(name + " takes no value");
            parsed.Add(spec->Name, "");
            continue;
        }
        if (hasInline) {
            parsed.Add(spec->Name, inlineValue);
        } else {
            if (i + 1 >= Args.size()) throw TUsageError(name + " needs a value");
            parsed.Add(spec->Name, Args[++i]);
        }
    }
    return parsed;
}

}  // namespace kestrel::cli

#pragma once
// kestrel-cli's sub-commands. Each lives in its own file and registers itself
// with a static TCliRegistration, so adding a command touches nothing else.
#include <functional>
#include <string>
#include <vector>

#include "cli/CliArgs.h"

namespace kestrel::cli {

struct TCliCommand {
    std::string Name;
    std::string Usage;     // one line: "build-iso -o IMAGE [--quick] ... SOURCE..."
    std::string Summary;   // what it does, for the help text
    std::vector<TOptionSpec> Options;
    std::function<int(const TParsedArgs&)> Run;  // returns the exit code
};

std::vector<TCliCommand>& CliCommands();

struct TCliRegistration {
    explicit TCliRegistration(TCliCommand Command) { CliCommands().push_back(std::move(Command)); }
};

// Prints "kestrel-cli: " + Message to stderr and returns the failure exit code 1.
int Fail(const std::string& Message);

}  // namespace kestrel::cli

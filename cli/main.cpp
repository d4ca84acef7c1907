// kestrel-cli: the scriptable front end of the Kestrel burner.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliCommand.h"

namespace kestrel::cli {

std::vector<TCliCommand>& CliCommands() {
    static std::vector<TCliCommand> commands;
    return commands;
}

int Fail(const std::string& Message) {
    std::cerr << "kestrel-cli: " << Message << "\n";
    return 1;
}

namespace {

void PrintHelp(std::ostream& out) {
    out << "Kestrel CD/DVD Burner 1.22 - command-line front end\n\n"
           "Usage: kestrel-cli COMMAND [OPTIONS] [ARGUMENTS]\n\nCommands:\n";
    for (const auto& command : CliCommands())
        out << "  " << command.Usage << "\n      " << command.Summary << "\n";
}

const TCliCommand* FindCommand(const std::string& Name) {
    for (const auto& command : CliCommands())
        if (command.Name == Name) return &command;
    return nullptr;
}

}  // namespace
}  // namespace kestrel::cli

int main(int argc, char** argv) {
    using namespace kestrel::cli;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintHelp(args.empty() ? std::cerr : std::cout);
        return args.empty() ? 2 : 0;
    }
    const TCliCommand* command = FindCommand(args[0]);
    if (!command) {
        PrintHelp(std::cerr);
        return Fail("unknown command \"" + args[0] + "\"");
    }
    try {
        args.erase(args.begin());
        for (const auto& a : args)
            if (a == "--help" || a == "-h") {
                std::cout << "Usage: kestrel-cli " << command->Usage << "\n" << command->Summary << "\n";
                return 0;
            }
        return command->Run(ParseArgs(args, command->Options));
    } catch (const TUsageError& e) {
        std::cerr << "Usage: kestrel-cli " << command->Usage << "\n";
        return Fail(e.what());
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

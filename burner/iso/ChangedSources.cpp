// The error that ends a write whose sources changed while they were read.
#include "burner/iso/ImageBuilder.h"

namespace kestrel {

namespace {

// Names listed in the error; the log lines name every file.
constexpr size_t MaxNamesShown = 10;

}  // namespace

std::string ChangedSourcesError(const std::vector<std::string>& Paths) {
    std::string text = Paths.size() == 1
                           ? "FILE CHANGED WHILE IT WAS WRITTEN, ITS COPY IS NOT THE FILE: "
                           : std::to_string(Paths.size()) +
                                 " FILES CHANGED WHILE THEY WERE WRITTEN, THEIR COPIES ARE NOT THE FILES: ";
    for (size_t i = 0; i < Paths.size() && i < MaxNamesShown; ++i) text += (i ? ", \"" : "\"") + Paths[i] + "\"";
    if (Paths.size() > MaxNamesShown) text += ", ...";
    return text;
}

}  // namespace kestrel

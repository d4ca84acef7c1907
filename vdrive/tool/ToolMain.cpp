// kestrel-vdrive: lists, loads, inspects and rigs the virtual drives of a
// state folder (KESTREL_VDRIVE_DIR or the default folder, or --dir).
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>

#include "ToolArgs.h"
#include "model/StateDriveSet.h"

namespace vdrive::tool {
namespace {

const char* kUsage =
    "usage: kestrel-vdrive [--dir FOLDER] COMMAND [options]\n"
    "  list                                  the drives, their models and media\n"
    "  insert [--drive N] --media KIND [--image FILE] [--appendable] [--capacity BLOCKS]\n"
    "                                        load a blank disc, or one holding an image\n"
    "  eject [--drive N]                     take the disc out\n"
    "  sessions [--drive N]                  sessions and tracks of the disc\n"
    "  dump [--drive N] -o FILE              every recorded sector from 0 into FILE (sparse)\n"
    "  trace [--drive N] [--clear]           the commands the drive received\n"
    "  fault [--drive N] [--clear] [KEY=VALUE ...]   show or set test knobs\n"
    "  model [--drive N] [--preset NAME] [KEY=VALUE ...]   show or change the drive model\n"
    "  model --add PRESET [KEY=VALUE ...]    add a drive\n"
    "  reset                                 back to the two standard drives\n";

std::string StatusText(const Medium& M) {
    if (M.IsOverwrite()) return M.formatted ? "formatted" : "unformatted";
    switch (M.Status()) {
    case DiscStatus::Empty: return "blank";
    case DiscStatus::Incomplete: return "appendable";
    case DiscStatus::Complete: return M.IsPressed() ? "pressed" : "closed";
    }
    return "?";
}

std::string MediumText(const DriveState& S) {
    if (!S.medium) return S.trayOpen ? "no disc, tray open" : "no disc";
    const Medium& m = *S.medium;
    const uint32_t space = m.IsOverwrite() && m.formatted ? m.FormattedBlocks() : m.capacity;
    std::string text = std::string(m.Traits().name) + " (" + StatusText(m) + ", ";
    if (m.spareBlocks) text += "spare areas of " + std::to_string(m.spareBlocks) + " blocks, ";
    text += std::to_string(m.RecordedEnd()) + " of " + std::to_string(space) + " blocks used)";
    if (S.trayOpen) text += ", tray open";
    if (S.op != LongOp::None) text += ", busy";
    return text;
}

int List(StateDriveSet& Set) {
    for (int i = 0; i < Set.Count(); ++i) {
        Drive& d = Set.At(i);
        DriveModel m = d.Model();
        std::printf("%d  %-8s %-8s %-16s %-4s  %s\n", i, Set.DriveName(i).c_str(), m.vendor.c_str(),
                    m.product.c_str(), m.revision.c_str(), MediumText(d.State()).c_str());
    }
    return 0;
}

uint32_t ImageBlocks(const std::string& Path) {
    struct stat st {};
    if (::stat(Path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        throw std::runtime_error("cannot read the image " + Path);
    uint64_t blocks = (uint64_t(st.st_size) + kBlockSize - 1) / kBlockSize;
    if (blocks > 0xFFFFFFFFull) throw std::runtime_error("the image is too large: " + Path);
    return static_cast<uint32_t>(blocks);
}

int Insert(StateDriveSet& Set, const ToolArgs& A) {
    auto media = A.Option("--media");
    if (!media) throw UsageError("insert needs --media " + MediaKindNames());
    auto kind = ParseMediaKind(*media);
    if (!kind) throw UsageError("unknown medium \"" + *media + "\"; one of " + MediaKindNames());
    Drive& d = Set.At(A.Drive());
    if (!d.Model().Reads(*kind))
        std::fprintf(stderr, "note: drive %d cannot read %s media; it will report an incompatible medium\n",
                     A.Drive(), media->c_str());
    auto image = A.Option("--image");
    bool pressed = TraitsOf(*kind).recording == Recording::Pressed;
    if (pressed && !image) throw UsageError(*media + " is a pressed disc: give it an --image");
    if (A.Flag("--appendable") && !image) throw UsageError("--appendable needs an --image");
    if (A.Flag("--appendable") && TraitsOf(*kind).recording != Recording::Sequential)
        throw UsageError("only write-once and sequential media can be appendable");
    Medium m = Medium::Blank(*kind);
    if (auto capacity = A.Option("--capacity")) {
        // Smaller discs than the standard size, e.g. 333000 for a 74-minute CD.
        unsigned long blocks = 0;
        try {
            blocks = std::stoul(*capacity);
        } catch (const std::exception&) {
        }
        if (blocks == 0 || blocks > m.capacity)
            throw UsageError("--capacity must be between 1 and " + std::to_string(m.capacity) + " blocks");
        m.capacity = static_cast<uint32_t>(blocks);
        if (m.IsOverwrite() && m.formatted) m.tracks[0].reserved = m.capacity;
    }
    if (image) {
        uint32_t blocks = ImageBlocks(*image);
        if (blocks > m.capacity) throw std::runtime_error("the image does not fit on the medium");
        uint32_t capacity = m.capacity;
        m = Medium::WithImage(*kind, blocks, A.Flag("--appendable"));
        if (A.Option("--capacity")) {
            m.capacity = capacity;
            if (m.IsOverwrite()) m.tracks[0].reserved = capacity;
        }
    }
    d.Insert(m, image ? *image : "");
    std::printf("drive %d: %s\n", A.Drive(), MediumText(d.State()).c_str());
    return 0;
}

int Sessions(StateDriveSet& Set, const ToolArgs& A) {
    DriveState s = Set.At(A.Drive()).State();
    if (!s.medium) throw std::runtime_error("there is no disc in drive " + std::to_string(A.Drive()));
    const Medium& m = *s.medium;
    std::printf("%s, %s, %u sessions\n", m.Traits().name, StatusText(m).c_str(), m.CompleteSessions());
    uint32_t sessions = 0;
    for (const auto& t : m.tracks) sessions = std::max(sessions, t.session);
    for (uint32_t n = 1; n <= sessions; ++n) {
        uint32_t start = 0, end = 0;
        bool any = false;
        for (const auto& t : m.tracks)
            if (t.session == n) {
                if (!any) start = t.start;
                end = t.start + t.recorded;
                any = true;
            }
        if (!any) continue;
        const char* state = n <= m.closedSessions ? "closed" : "open";
        std::printf("session %u: start %u, size %u blocks, %s\n", n, start, end - start, state);
        for (size_t i = 0; i < m.tracks.size(); ++i) {
            const Track& t = m.tracks[i];
            if (t.session != n) continue;
            std::printf("  track %zu: start %u, %u blocks recorded%s, %s\n", i + 1, t.start, t.recorded,
                        t.reserved ? (", " + std::to_string(t.reserved) + " reserved").c_str() : "",
                        t.closed ? "closed" : "open");
        }
    }
    if (m.Appendable()) std::printf("next writable address: %u\n", m.LastIsIncomplete() ? m.tracks.back().Nwa() : m.NextTrackStart());
    return 0;
}

int Dump(StateDriveSet& Set, const ToolArgs& A) {
    auto out = A.Option("--output");
    if (!out) throw UsageError("dump needs -o FILE");
    uint32_t blocks = Set.At(A.Drive()).Dump(*out);
    std::printf("%u blocks written to %s\n", blocks, out->c_str());
    return 0;
}

int Trace(StateDriveSet& Set, const ToolArgs& A) {
    Drive& d = Set.At(A.Drive());
    if (A.Flag("--clear")) {
        d.ClearTrace();
        return 0;
    }
    for (const auto& e : d.Trace()) std::printf("%s\n", FormatTraceEntry(e).c_str());
    return 0;
}

int Fault(StateDriveSet& Set, const ToolArgs& A) {
    Drive& d = Set.At(A.Drive());
    Knobs k = A.Flag("--clear") ? Knobs{} : d.CurrentKnobs();
    for (const auto& [key, value] : A.Settings()) k.Set(key, value);
    if (A.Flag("--clear") || !A.Words().empty()) d.SetKnobs(k);
    std::string text = k.ToText();
    std::printf("%s", text.empty() ? "no knobs set\n" : text.c_str());
    return 0;
}

int Model(StateDriveSet& Set, const ToolArgs& A) {
    if (auto preset = A.Option("--add")) {
        auto m = DriveModel::Preset(*preset);
        if (!m) throw UsageError("unknown preset \"" + *preset + "\"; one of " + DriveModel::PresetNames());
        for (const auto& [key, value] : A.Settings()) m->Set(key, value);
        int n = Set.AddDrive(*m);
        std::printf("drive %d added\n", n);
        return 0;
    }
    Drive& d = Set.At(A.Drive());
    DriveModel m = d.Model();
    if (auto preset = A.Option("--preset")) {
        auto p = DriveModel::Preset(*preset);
        if (!p) throw UsageError("unknown preset \"" + *preset + "\"; one of " + DriveModel::PresetNames());
        m = *p;
    }
    for (const auto& [key, value] : A.Settings()) m.Set(key, value);
    if (A.Option("--preset") || !A.Words().empty()) d.SetModel(m);
    std::printf("%s", m.ToText().c_str());
    return 0;
}

int Run(int Argc, char** Argv) {
    ToolArgs a(Argc, Argv, {"--dir", "--drive", "--media", "--image", "--output", "--preset", "--add", "--capacity"});
    if (a.Command().empty() || a.Command() == "help" || a.Flag("--help")) {
        std::printf("%s", kUsage);
        return a.Command().empty() && !a.Flag("--help") ? 2 : 0;
    }
    std::string dir = a.Option("--dir").value_or(DriveSet::DefaultStateDir());
    StateDriveSet set(dir);
    const std::string& c = a.Command();
    if (c == "list") return List(set);
    if (c == "insert") return Insert(set, a);
    if (c == "eject") {
        set.At(a.Drive()).Eject();
        return 0;
    }
    if (c == "sessions") return Sessions(set, a);
    if (c == "dump") return Dump(set, a);
    if (c == "trace") return Trace(set, a);
    if (c == "fault") return Fault(set, a);
    if (c == "model") return Model(set, a);
    if (c == "reset") {
        set.Reset();
        return List(set);
    }
    throw UsageError("unknown command \"" + c + "\"");
}

}  // namespace
}  // namespace vdrive::tool

int main(int argc, char** argv) {
    try {
        return vdrive::tool::Run(argc, argv);
    } catch (const vdrive::tool::UsageError& e) {
        std::fprintf(stderr, "kestrel-vdrive: %s\n%s", e.what(), vdrive::tool::kUsage);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrel-vdrive: %s\n", e.what());
        return 1;
    }
}

#include "burner/engine/VerifyReport.h"

#include <algorithm>

namespace kestrel {
namespace {

// Findings named in the error; the log lists every one.
constexpr size_t kFindingsShown = 10;

std::string SectorText(int64_t First, int64_t Last) {
    if (First < 0) return {};
    if (First == Last) return " (sector " + std::to_string(First) + ")";
    return " (sectors " + std::to_string(First) + ".." + std::to_string(Last) + ")";
}

std::string FindingsText(const std::vector<TVerifyFinding>& Findings) {
    std::string text;
    for (size_t i = 0; i < Findings.size() && i < kFindingsShown; ++i) text += (i ? "; " : "") + Findings[i].Text();
    if (Findings.size() > kFindingsShown)
        text += "; and " + std::to_string(Findings.size() - kFindingsShown) + " more (see the log)";
    return text;
}

}  // namespace

std::string TVerifyFinding::Text() const {
    const bool structures = Name == kFileSystemStructures;
    const std::string name = structures || Name == kImagePadding ? Name : "\"" + Name + "\"";
    switch (Problem) {
        case TVerifyProblem::Differs:
            return name + (structures ? " differ" : " differs") + SectorText(FirstSector, LastSector);
        case TVerifyProblem::Unreadable:
            return name + " cannot be read" + SectorText(FirstSector, LastSector);
        case TVerifyProblem::ChangedWhileBurnt: return name + " changed while it was burnt";
    }
    return name;
}

void TVerifyReport::Add(const std::string& Name, TVerifyProblem Kind, int64_t Sector) {
    auto found = std::find_if(Findings.begin(), Findings.end(),
                              [&](const TVerifyFinding& F) { return F.Name == Name && F.Problem == Kind; });
    if (found == Findings.end()) {
        Findings.push_back({Name, Kind, Sector, Sector, Sector < 0 ? 0 : 1});
        return;
    }
    if (Sector < 0) return;
    if (found->FirstSector < 0 || Sector < found->FirstSector) found->FirstSector = Sector;
    found->LastSector = std::max(found->LastSector, Sector);
    ++found->Sectors;
}

bool TVerifyReport::Has(TVerifyProblem Kind) const {
    return std::any_of(Findings.begin(), Findings.end(), [Kind](const TVerifyFinding& F) { return F.Problem == Kind; });
}

std::string TVerifyReport::ErrorText() const {
    switch (Outcome) {
        case TVerifyOutcome::NotRun:
        case TVerifyOutcome::Verified: return {};
        case TVerifyOutcome::Aborted: return "WRITTEN, NOT VERIFIED: VERIFICATION ABORTED BY USER";
        case TVerifyOutcome::Failed: return "WRITTEN, NOT VERIFIED: " + Problem;
        case TVerifyOutcome::Differs: break;
    }
    std::string text = "VERIFICATION FAILED, THE DISC DOES NOT HOLD WHAT WAS WRITTEN: " + FindingsText(Findings);
    if (!Problem.empty()) text += " (" + Problem + ")";
    return text;
}

std::string TVerifyReport::Summary() const {
    if (Outcome == TVerifyOutcome::Verified)
        return "VERIFIED: THE DISC HOLDS WHAT WAS WRITTEN (SECTORS " + std::to_string(FirstSector) + ".." +
               std::to_string(FirstSector + Sectors - 1) + ")";
    if (Outcome == TVerifyOutcome::NotRun) return "NOT VERIFIED";
    return ErrorText();
}

}  // namespace kestrel

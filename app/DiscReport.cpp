#include "app/DiscReport.h"

namespace kestrel::app {

TDiscReport ReadDiscReport(const TSCSIDevice& Drive, const TMountLookup& MountPointOf) {
    TDiscReport report;
    report.Node = Drive.GetDriveLetter();
    if (MountPointOf) report.MountPoint = MountPointOf(report.Node);
    TSCSIDevice probe;
    probe.DoDebug = false;
    probe.HaId = Drive.HaId;
    probe.Target = Drive.Target;
    probe.Lun = Drive.Lun;
    report.Space = ReadDiscSpace(probe);
    if (!report.Space.HasDisc()) return report;
    report.HoldsFiles = report.Space.State == TDiscSpace::TState::HoldsData && !probe.HoldsNoFileSystem();
    report.Unfinished = probe.FindUnfinishedSession();
    return report;
}

}  // namespace kestrel::app

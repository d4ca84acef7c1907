#include "app/DiscCheck.h"

#include <QStringList>

#include <utility>

#include "burner/device/Capabilities.h"
#include "burner/device/MediumTables.h"

namespace kestrel::app {

namespace {

struct TMediumFlag {
    uint8_t Type;
    uint32_t Flag;
    const char* Name;
};

constexpr TMediumFlag kMediumFlags[] = {
    {mtCDR, cap::WriteCDR, "CD-R"},
    {mtCDRW, cap::WriteCDRW, "CD-RW"},
    {mtDVDR, cap::WriteDVDR, "DVD-R"},
    {mtDVDRWRestricted, cap::WriteDVDRW, "DVD-RW"},
    {mtDVDRWSequential, cap::WriteDVDRW, "DVD-RW"},
    {mtDVDPlusR, cap::WriteDVDPR, "DVD+R"},
    {mtDVDPlusRDL, cap::WriteDVDPRDL, "DVD+R DL"},
    {mtDVDPlusRW, cap::WriteDVDPRW, "DVD+RW"},
    {mtDVDRAM, cap::WriteDVDRAM, "DVD-RAM"},
    {mtBDR, cap::WriteBDR, "BD-R"},
    {mtBDRE, cap::WriteBDRE, "BD-RE"},
};

QString Name(const TDiscSpace& Disc) { return QString::fromStdString(MediumTypeName(Disc.Type)); }

QString EraseHint(const TDiscSpace& Disc) {
    return Disc.Erasable ? QStringLiteral(", or erase this one first (Q.Erase)") : QString();
}

TDiscVerdict Verdict(TDiscProblem Problem, QString Text) { return {Problem, std::move(Text)}; }

}  // namespace

bool DriveWritesMedium(uint32_t Capabilities, uint8_t MediumType) {
    for (const TMediumFlag& medium : kMediumFlags)
        if (medium.Type == MediumType) return (Capabilities & medium.Flag) != 0;
    return true;
}

QString WritableMediaText(uint32_t Capabilities) {
    QStringList names;
    for (const TMediumFlag& medium : kMediumFlags) {
        const QString name = QString::fromUtf8(medium.Name);
        if ((Capabilities & medium.Flag) && !names.contains(name)) names << name;
    }
    return names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", "));
}

TDiscVerdict JudgeDisc(const TDiscSpace& Disc, uint32_t Capabilities, TWriteKind Kind, int64_t ImageBytes) {
    using TState = TDiscSpace::TState;
    if (!Disc.HasDisc())
        return Verdict(TDiscProblem::NoDisc,
                       QStringLiteral("There is no disc in the drive.\n\nInsert a disc the drive can write (%1). "
                                      "Kestrel goes on as soon as the drive has read it.")
                           .arg(WritableMediaText(Capabilities)));
    if (IsPressedType(Disc.Type))
        return Verdict(TDiscProblem::NotWritable,
                       QStringLiteral("The disc in the drive is a %1, which cannot be written.\n\n"
                                      "Take it out and insert a blank or appendable disc (%2).")
                           .arg(Name(Disc), WritableMediaText(Capabilities)));
    if (!DriveWritesMedium(Capabilities, Disc.Type))
        return Verdict(TDiscProblem::WrongMedium,
                       QStringLiteral("This drive cannot write %1 discs.\n\nInsert a disc it can write: %2.")
                           .arg(Name(Disc), WritableMediaText(Capabilities)));
    if (Disc.State == TState::Closed)
        return Verdict(TDiscProblem::Closed,
                       QStringLiteral("The %1 in the drive is closed (finalized): nothing more can be written on "
                                      "it.\n\nInsert a blank or appendable disc%2.")
                           .arg(Name(Disc), EraseHint(Disc)));
    if (Kind == TWriteKind::ImageBurn && Disc.State == TState::Appendable) {
        const QString holds = Disc.Sessions == 0   ? QStringLiteral("data")
                              : Disc.Sessions == 1 ? QStringLiteral("1 session")
                                                   : QStringLiteral("%1 sessions").arg(Disc.Sessions);
        return Verdict(TDiscProblem::NotBlank,
                       QStringLiteral("An image is written onto a blank disc, and the %1 in the drive already "
                                      "holds %2.\n\nInsert a blank disc%3.")
                           .arg(Name(Disc), holds, EraseHint(Disc)));
    }
    if (Disc.State == TState::Appendable && Disc.FreeBytes <= 0)
        return Verdict(TDiscProblem::Full,
                       QStringLiteral("The %1 in the drive is full.\n\nInsert a blank disc%2.")
                           .arg(Name(Disc), EraseHint(Disc)));
    const int64_t room = Kind == TWriteKind::ImageBurn ? Disc.CapacityBytes : Disc.FreeBytes;
    if (Kind == TWriteKind::ImageBurn && ImageBytes > 0 && room > 0 && ImageBytes > room)
        return Verdict(TDiscProblem::Full,
                       QStringLiteral("The image needs %1, but the %2 in the drive holds only %3.\n\n"
                                      "Insert a larger disc.")
                           .arg(SpaceText(ImageBytes), Name(Disc), SpaceText(room)));
    return {};
}

}  // namespace kestrel::app

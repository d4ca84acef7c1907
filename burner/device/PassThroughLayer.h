#pragma once
// The built-in pass-through layer: answers the two access entry points itself
// and carries each request to a CD/DVD device node (/dev/sr0 .. /dev/sr31)
// with the SG_IO interface. Its layer name is "KRASPI32".
#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace kestrel {

constexpr const char* PASS_THROUGH_LAYER_NAME = "KRASPI32";
// Device nodes walked by the scan: /dev/sr0 .. /dev/sr31.
constexpr int PASS_THROUGH_NODES = 32;
// Lun of an address-less drive until the end of the scan.
constexpr uint8_t NO_ADDRESS_LUN = 0xFA;

// One device node of the scan.
struct TDriveEntry {
    uint8_t HaId = 0;
    uint8_t Target = 0;
    uint8_t Lun = 0;
    uint8_t NodeIndex = 0;  // N of /dev/srN
    bool InUse = false;
    int Handle = -1;        // open descriptor, -1 when closed
    int ExclusiveHandle = -1;  // O_EXCL descriptor held during a write, -1 when none
    std::array<uint8_t, 40> Inquiry{};
};

class TPassThroughLayer {
public:
    using TLog = std::function<void(const std::string& Line)>;

    static TPassThroughLayer& Instance();

    // Scans the device nodes once; returns the number of drives found (0 and
    // no change when already initialised).
    int Initialize(const TLog& Log);
    void Shutdown();
    bool Initialized() const;

    // The two entry points, with the library's signatures.
    uint32_t SendASPI32Command(void* Srb);
    uint32_t GetASPI32SupportInfo() const;

    // The node of the in-use entry with that address, empty when none.
    std::string DriveNode(uint8_t HaId, uint8_t Target, uint8_t Lun) const;
    uint8_t AdapterCount() const;
    int NoAddressCount() const;

    // Opens the drive's node with O_EXCL and keeps it open until
    // ReleaseExclusive, so no other program can claim the drive (or mount its
    // disc) meanwhile. Empty when held, else the reason it is not (a drive
    // held already is not held twice).
    std::string HoldExclusive(uint8_t HaId, uint8_t Target, uint8_t Lun);
    void ReleaseExclusive(uint8_t HaId, uint8_t Target, uint8_t Lun);

    // Where the nodes live; tests and the scan use "/dev/sr" by default.
    void SetNodePrefix(const std::string& Prefix);
    // SG_IO time limit of the commands sent from this thread, in ms.
    static void SetCommandTimeout(int TimeoutMs);
    // Close the drive's descriptor after each command.
    void SetCloseAfterCommand(bool Value);
    bool CloseAfterCommand() const;

private:
    TPassThroughLayer() = default;
    std::string NodePath(int Index) const;
    bool Probe(int Index, const TLog& Log);
    void ResolveAddressless();
    void RecountAdapters();
    TDriveEntry* Find(uint8_t HaId, uint8_t Target, uint8_t Lun);
    const TDriveEntry* Find(uint8_t HaId, uint8_t Target, uint8_t Lun) const;
    uint32_t HostAdapterInquiry(void* Srb) const;
    uint32_t GetDeviceType(void* Srb) const;
    uint32_t Execute(void* Srb);

    mutable std::mutex Guard;
    std::array<TDriveEntry, PASS_THROUGH_NODES> DriveTable{};
    uint8_t Adapters = 0;
    int NoAddress = 0;
    bool IsInitialized = false;
    bool CloseAfter = false;
    std::string Prefix = "/dev/sr";
};

// Free-function forms of the two entry points, stored like the library's.
uint32_t PassThroughSendASPI32Command(void* Srb);
uint32_t PassThroughGetASPI32SupportInfo();

}  // namespace kestrel

// Finding the drives, listing them, and selecting one.
#include <cstring>

#include "burner/device/DeviceLine.h"
#include "burner/device/EraseThread.h"
#include "burner/device/SCSIDevice.h"

namespace kestrel {

namespace {

const char* const kInvalidDevice = "INVALID DEVICE ID / NOT A CD OR DVD DRIVE";

std::string Trimmed(const std::string& Text) {
    const auto first = Text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return Text.substr(first, Text.find_last_not_of(' ') - first + 1);
}

bool IsCDOrWriteOnce(uint8_t DeviceType) { return DeviceType == DTYPE_CDROM || DeviceType == DTYPE_WORM; }

}  // namespace

TSCSIDevice::TSCSIDevice() {
    if (ASPIInitialized()) AccessLayerLoaded();
}

TSCSIDevice::~TSCSIDevice() {
    *alive_ = false;
    StopEraseThread();
}

void TSCSIDevice::AccessLayerLoaded() {
    HostAdapterInquiry(0);
    ScanDevices();
}

int TSCSIDevice::HostAdapterInquiry(uint8_t Adapter) {
    SRB_HAInquiry srb{};
    const int count = HostAdapterInquiry(Adapter, srb);
    if (count < 0) hostAdapterCount_ = -1;
    else hostAdapterCount_ = int8_t(count == 0 ? 7 : std::min(count, 127));
    return count;
}

int TSCSIDevice::HostAdapterInquiry(uint8_t Adapter, SRB_HAInquiry& Srb) {
    std::memset(&Srb, 0, sizeof Srb);
    if (!ASPIInitialized()) return -1;
    Srb.SRB_Cmd = SC_HA_INQUIRY;
    Srb.SRB_HaId = Adapter;
    SendASPI32Command(&Srb);
    return Srb.SRB_Status == SS_COMP ? Srb.HA_Count : -1;
}

void TSCSIDevice::ScanDevices() {
    std::vector<std::string> found;
    const uint8_t savedHa = HaId, savedTarget = Target, savedLun = Lun;
    const auto savedInquiry = InquiryData;
    Lun = 0;
    InfoMsg(">>> " + AccessLayerName());
    for (int adapter = 0; adapter < hostAdapterCount_; ++adapter) {
        SRB_HAInquiry srb{};
        HostAdapterInquiry(uint8_t(adapter), srb);
        const std::string manager(srb.HA_ManagerId, strnlen(srb.HA_ManagerId, sizeof srb.HA_ManagerId));
        const std::string identifier(srb.HA_Identifier, strnlen(srb.HA_Identifier, sizeof srb.HA_Identifier));
        InfoMsg(">>> " + manager + " (" + Trimmed(identifier) + ")");
        for (uint8_t target = 0; target < 8; ++target)
            for (uint8_t lun = 0; lun < 8; ++lun) {
                HaId = uint8_t(adapter);
                Target = target;
                Lun = lun;
                InquiryData.fill(0);
                if (!Inquiry() || !IsCDOrWriteOnce(InquiryData[0])) continue;
                found.push_back(FormatDeviceLine({HaId, Target, Lun}, DriveName(HaId, Target, Lun),
                                                 InquiryData.data() + 8, InquiryData[0] == DTYPE_WORM));
            }
    }
    HaId = savedHa;
    Target = savedTarget;
    Lun = savedLun;
    InquiryData = savedInquiry;
    LastError.clear();
    std::lock_guard lock(devicesLock_);
    devices_ = std::move(found);
}

std::vector<std::string> TSCSIDevice::Devices() const {
    std::lock_guard lock(devicesLock_);
    return devices_;
}

std::string TSCSIDevice::GetDriveLetter() const {
    if (HaId == NO_DEVICE_ID) return {};
    return DriveName(HaId, Target, Lun);
}

void TSCSIDevice::ClearSelection() {
    HaId = Target = Lun = NO_DEVICE_ID;
    currentDevice_.clear();
}

void TSCSIDevice::SelectDevice(const std::string& Line) {
    if (!CommandRefusal().empty()) {
        DebugMsg(CommandRefusal(), mtFailure);
        return;
    }
    if (Line.size() < 5) {
        if (!Line.empty()) DebugMsg(kInvalidDevice, mtFailure);
        ClearSelection();
        return;
    }
    const auto address = ParseDeviceAddress(Line);
    if (address) {
        HaId = address->HaId;
        Target = address->Target;
        Lun = address->Lun;
        currentDevice_ = Line;
        ReadDeviceInfo();
        if (IsCDOrWriteOnce(InquiryData[0])) {
            ApplyQuirks();
            if (OnDeviceChange) OnDeviceChange(this);
            ProbeWriteModes();
            return;
        }
    }
    DebugMsg(kInvalidDevice, mtFailure);
    ClearSelection();
}

void TSCSIDevice::ReadDeviceInfo() {
    ReadCapabilities();
    InquiryData.fill(0);
    if (!Inquiry()) return;
    for (size_t i = 8; i <= 55; ++i)
        if (InquiryData[i] < 0x20) InquiryData[i] = ' ';
}

std::string TSCSIDevice::InquiryVendor() const {
    return std::string(reinterpret_cast<const char*>(InquiryData.data()) + 8, 8);
}

std::string TSCSIDevice::InquiryProduct() const {
    return std::string(reinterpret_cast<const char*>(InquiryData.data()) + 16, 16);
}

std::string TSCSIDevice::InquiryRevision() const {
    return std::string(reinterpret_cast<const char*>(InquiryData.data()) + 32, 4);
}

void TSCSIDevice::ApplyQuirks() { quirks_ = EvaluateQuirks(InquiryVendor(), InquiryProduct()); }

}  // namespace kestrel

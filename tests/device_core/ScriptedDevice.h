#pragma once
// A TSCSICommands on the scripted access library, with drive 0:0:0 selected.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScriptedLibrary.h"
#include "support/TestSupport.h"
#include "burner/device/AccessLayer.h"
#include "burner/device/SCSICommands.h"

namespace kestrel::test {

inline std::string TestLibrary(const std::string& Variant) {
    return std::string(KESTREL_BIN_DIR) + "/libkestrel-test-" + Variant + ".so";
}

class ScriptedDevice : public ::testing::Test {
protected:
    void SetUp() override {
        TAccessLayer::Instance().Shutdown();
        Device.OnDebugMessage = [this](TDebugLog*, const std::string& Line, uint8_t) { Log.push_back(Line); };
        ASSERT_TRUE(Device.InitializeASPI(false, TestLibrary("scripted")));
        Handle = ::dlopen(TestLibrary("scripted").c_str(), RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(Handle, nullptr);
        SetReply = reinterpret_cast<PFN_ScriptReply>(::dlsym(Handle, "ScriptReply"));
        LastRequestOf = reinterpret_cast<PFN_ScriptLastRequest>(::dlsym(Handle, "ScriptLastRequest"));
        LastOutOf = reinterpret_cast<PFN_ScriptLastOutData>(::dlsym(Handle, "ScriptLastOutData"));
        RequestCount = reinterpret_cast<PFN_ScriptCount>(::dlsym(Handle, "ScriptRequestCount"));
        AbortCount = reinterpret_cast<PFN_ScriptCount>(::dlsym(Handle, "ScriptAbortCount"));
        Reply(SS_COMP);
        Device.HaId = Device.Target = Device.Lun = 0;
    }
    void TearDown() override {
        Reply(SS_COMP);
        if (Handle) ::dlclose(Handle);
        TAccessLayer::Instance().Shutdown();
    }

    // Scripts the next replies: status, data returned, sense.
    void Reply(uint8_t Status, std::vector<uint8_t> Data = {}, std::vector<uint8_t> Sense = {}, uint8_t TargStat = 0,
               uint32_t CompleteAfterMs = 0) {
        ScriptedReply reply{};
        reply.Status = Status;
        reply.TargStat = TargStat;
        std::copy(Data.begin(), Data.end(), reply.Data);
        reply.DataLength = uint32_t(Data.size());
        std::copy(Sense.begin(), Sense.end(), reply.Sense);
        reply.CompleteAfterMs = CompleteAfterMs;
        SetReply(&reply);
    }
    void CheckCondition(uint8_t Key, uint8_t ASC, uint8_t ASCQ) {
        std::vector<uint8_t> sense(18);
        sense[0] = 0x70;
        sense[2] = Key;
        sense[7] = 10;
        sense[12] = ASC;
        sense[13] = ASCQ;
        Reply(SS_ERR, {}, sense, STATUS_CHKCOND);
    }
    SRB_ExecSCSICmd LastRequest() {
        SRB_ExecSCSICmd srb{};
        LastRequestOf(&srb);
        return srb;
    }
    std::vector<uint8_t> LastOut() {
        std::vector<uint8_t> data(1024);
        data.resize(LastOutOf(data.data(), uint32_t(data.size())));
        return data;
    }

    TScopedEnv Layer{"KESTREL_DEVICE_LAYER", "library"};
    TSCSICommands Device;
    std::vector<std::string> Log;
    void* Handle = nullptr;
    PFN_ScriptReply SetReply = nullptr;
    PFN_ScriptLastRequest LastRequestOf = nullptr;
    PFN_ScriptLastOutData LastOutOf = nullptr;
    PFN_ScriptCount RequestCount = nullptr;
    PFN_ScriptCount AbortCount = nullptr;
};

}  // namespace kestrel::test

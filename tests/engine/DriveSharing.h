#pragma once
// A second program on the drive of a burn: kestrel-cli run while the rig's
// burn holds the drive, through the recorder's library or through the
// pass-through layer under the SG_IO interposer.
#include <functional>
#include <ostream>
#include <string>

#include "BurnRig.h"
#include "burner/device/DriveHoldText.h"
#include "burner/device/LibraryLayer.h"

namespace kestrel::test {

enum class TProgramLayer { Library, PassThrough };

inline std::string LayerName(TProgramLayer Layer) {
    return Layer == TProgramLayer::PassThrough ? "passthrough" : "library";
}
inline void PrintTo(TProgramLayer Layer, std::ostream* Out) { *Out << LayerName(Layer); }

// How each layer names the rig's drive.
inline std::string DriveNameOn(TProgramLayer Layer) {
    return Layer == TProgramLayer::PassThrough ? "/dev/sr0" : "vdrive0";
}

// Runs kestrel-cli with Arguments on the rig's drive through Layer; its
// exit status and its output (standard output and errors).
inline TCommandResult RunSecondProgram(TProgramLayer Layer, const std::string& Arguments) {
    std::string command;
    if (Layer == TProgramLayer::PassThrough)
        command = "LD_PRELOAD=" + Quote(std::string(KESTREL_BIN_DIR) + "/libkestrel-vdrive-sg.so") + " ";
    command += Quote(KESTREL_CLI_PATH) + " " + Arguments + " --drive 0 --device-layer " + LayerName(Layer) + " 2>&1";
    return CaptureCommand(command);
}

// Burns the rig's compilation and runs Second once all data went to the
// drive, before the session is closed: the burn holds the drive then.
// Returns the burn's error; Second's result goes to Result.
inline std::string BurnWhile(TBurnRig& Rig, const std::function<TCommandResult()>& Second, TCommandResult& Result) {
    int runs = 0;
    Rig.burner.OnFinalizingTrack = [&](TKestrelBurner*) {
        if (runs++ == 0) Result = Second();
    };
    const std::string error = Rig.Burn();
    Rig.burner.OnFinalizingTrack = nullptr;
    EXPECT_EQ(runs, 1) << "the burn reached its closing once";
    return error;
}

// Checks that a second program was refused because the drive is held.
inline void ExpectRefusedAsInUse(const TCommandResult& Second, TProgramLayer Layer) {
    EXPECT_NE(Second.ExitCode, 0) << Second.Output;
    EXPECT_NE(Second.Output.find(DriveInUseText(DriveNameOn(Layer))), std::string::npos) << Second.Output;
    EXPECT_EQ(Second.Output.find("INVALID ADDRESS FOR WRITE"), std::string::npos) << Second.Output;
}

// Checks that the disc's last session holds exactly the tree of Source.
inline void ExpectDiscHolds(TBurnRig& Rig, const std::string& Source, const std::string& Out) {
    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
    ASSERT_EQ(ExtractWithXorriso(Rig.Dump(), Out), 0);
    EXPECT_TRUE(SameTree(Source, Out));
}

}  // namespace kestrel::test

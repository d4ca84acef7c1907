// The interposer seen from a program running under it (the probe): virtual
// nodes that behave like a real drive's block device, and nothing else of
// the optical kind within reach.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "DoorSupport.h"
#include "support/TestSupport.h"

using namespace kestrel::test;

namespace {

class Interposer : public ::testing::Test {
protected:
    TTempDir state;
    TScopedEnv dir{"KESTREL_VDRIVE_DIR", state.Path().string()};

    std::string Probe(const std::string& Args) {
        const TRunResult r = RunPreloaded(BinPath("vdrive_sg_probe") + " " + Args, 60);
        EXPECT_EQ(r.ExitCode, 0) << r.Output;
        return r.Output;
    }

    // An image of Sectors sectors of random bytes, pressed onto drive 0.
    std::string InsertPressedDisc(int Sectors) {
        std::string bytes(static_cast<size_t>(Sectors) * 2048, '\0');
        std::mt19937 random(7);
        for (auto& b : bytes) b = static_cast<char>(random());
        const std::string image = state / "pressed.img";
        WriteFile(image, bytes);
        const TRunResult r = RunCommand(BinPath("kestrel-vdrive") + " insert --drive 0 --media dvd-rom --image " + image);
        EXPECT_EQ(r.ExitCode, 0) << r.Output;
        return bytes;
    }
};

bool Has(const std::string& Output, const std::string& Line) {
    std::istringstream in(Output);
    for (std::string l; std::getline(in, l);) {
        if (l == Line) return true;
    }
    return false;
}

}  // namespace

TEST_F(Interposer, VirtualNodesAreBlockDevicesOfTheCdromMajor) {
    std::string out = Probe("stat /dev/sr0");
    EXPECT_TRUE(Has(out, "stat blk")) << out;
    EXPECT_TRUE(Has(out, "rdev 11:0")) << out;
    EXPECT_TRUE(Has(out, "access ok")) << out;
    out = Probe("stat /dev/scd1");
    EXPECT_TRUE(Has(out, "rdev 11:1")) << out;
    // Past the last drive, and every other optical name: absent.
    for (const char* path : {"/dev/sr2", "/dev/scd7", "/dev/sg0", "/dev/cdrom", "/dev/dvd", "/dev/cdrw", "/dev/sr00"}) {
        out = Probe(std::string("stat ") + path);
        EXPECT_TRUE(Has(out, "stat ENOENT")) << path << ": " << out;
    }
}

// Real optical hardware under a name of its own (a node made here with the
// CD-ROM and generic SCSI majors) stays out of reach too.
TEST_F(Interposer, RealOpticalNodesUnderOtherNamesAreHidden) {
    const std::string cdrom = state / "my-burner";
    const std::string generic = state / "my-generic";
    if (mknod(cdrom.c_str(), S_IFBLK | 0600, makedev(11, 0)) != 0 ||
        mknod(generic.c_str(), S_IFCHR | 0600, makedev(21, 0)) != 0) {
        GTEST_SKIP() << "making device nodes needs root";
    }
    for (const std::string& node : {cdrom, generic}) {
        const std::string out = Probe("stat " + node);
        EXPECT_TRUE(Has(out, "stat ENOENT")) << node << ": " << out;
    }
    const std::string link = state / "link-to-burner";
    std::filesystem::create_symlink(cdrom, link);
    EXPECT_TRUE(Has(Probe("stat " + link), "stat ENOENT"));
}

TEST_F(Interposer, ExclusiveOpenIsRefusedWhileAnotherHolderHasTheDrive) {
    std::string out = Probe("excl /dev/sr0");
    EXPECT_TRUE(Has(out, "second EBUSY")) << out;
    EXPECT_FALSE(Has(out, "shared EBUSY")) << out;  // plain opens still work
    EXPECT_FALSE(Has(out, "again EBUSY")) << out;   // given back on close

    // Across processes: one holds drive 1, the other is refused, drive 0 is free.
    const std::string probe = BinPath("vdrive_sg_probe");
    // The holder is killed at the end: a holder that died frees the drive.
    const std::string held = state / "held.txt";
    const TRunResult r = RunPreloaded(probe + " hold /dev/sr1 60 > " + held + " & " +
                                      "for i in $(seq 100); do grep -q held " + held + " && break; sleep 0.1; done; " +
                                      "cat " + held + "; " + Preload() + " " + probe + " excl /dev/sr1; " + Preload() +
                                      " " + probe + " excl /dev/sr0; kill -9 $!; wait");
    EXPECT_TRUE(Has(r.Output, "first EBUSY")) << r.Output;
    EXPECT_TRUE(Has(r.Output, "second EBUSY")) << r.Output;
    EXPECT_EQ(r.Output.find("held EBUSY"), std::string::npos) << r.Output;
    // After the holder died, the drive is free again.
    out = Probe("excl /dev/sr1");
    EXPECT_FALSE(Has(out, "first EBUSY")) << out;
}

TEST_F(Interposer, ScsiGenericRequestsReachTheDrive) {
    const std::string out = Probe("scsi /dev/sr1");
    EXPECT_TRUE(Has(out, "inquiry 0 status 0 type 5")) << out;
    EXPECT_TRUE(Has(out, "bad 0 status 2 sense 5/20")) << out;
    EXPECT_TRUE(Has(out, "version 30527")) << out;
    EXPECT_TRUE(Has(out, "idlun 1")) << out;
    EXPECT_TRUE(Has(out, "scsi_id 0:1")) << out;
    EXPECT_TRUE(Has(out, "drive_status 4")) << out;  // a disc is in
    EXPECT_TRUE(Has(out, "unknown_ioctl ENOTTY")) << out;
    EXPECT_TRUE(Has(out, "write EROFS")) << out;

    // A drive model without a SCSI address, as behind a simple bridge.
    const TRunResult r = RunCommand(BinPath("kestrel-vdrive") + " model --drive 1 scsi-address=no");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    const std::string bare = Probe("scsi /dev/sr1");
    EXPECT_TRUE(Has(bare, "idlun ENOTTY")) << bare;
    EXPECT_TRUE(Has(bare, "scsi_id ENOTTY")) << bare;
    EXPECT_TRUE(Has(bare, "inquiry 0 status 0 type 5")) << bare;
}

TEST_F(Interposer, EveryCopyOfADescriptorStandsForTheDrive) {
    const std::string out = Probe("dup /dev/sr0");
    EXPECT_TRUE(Has(out, "copies 0 0 0 0 ")) << out;
    EXPECT_TRUE(Has(out, "replaced chr")) << out;
}

TEST_F(Interposer, ThreadsSharingTheNodesEachGetTheRightDescriptor) {
    const std::string out = Probe("threads /dev/sr0 /dev/sr1");
    EXPECT_TRUE(Has(out, "failures 0")) << out;
}

TEST_F(Interposer, PlainReadsDeliverTheRecordedSectors) {
    const std::string disc = InsertPressedDisc(300);
    const TRunResult whole = RunPreloaded(BinPath("vdrive_sg_probe") + " cat /dev/sr0", 60);
    ASSERT_EQ(whole.ExitCode, 0);
    EXPECT_TRUE(whole.Output == disc) << "read " << whole.Output.size() << " bytes of " << disc.size();

    const TRunResult stream = RunPreloaded(BinPath("vdrive_sg_probe") + " fcat /dev/sr0", 60);
    EXPECT_TRUE(stream.Output == disc) << "read " << stream.Output.size() << " bytes through a stream";

    const TRunResult part = RunPreloaded(BinPath("vdrive_sg_probe") + " pread /dev/sr0 3001 5000", 60);
    EXPECT_TRUE(part.Output == disc.substr(3001, 5000));
    const TRunResult tail = RunPreloaded(BinPath("vdrive_sg_probe") + " pread /dev/sr0 614000 10000", 60);
    EXPECT_TRUE(tail.Output == disc.substr(614000)) << tail.Output.size();  // ends at the capacity
}

TEST_F(Interposer, PlainWritesReachOnlyMediaOverwritableInPlace) {
    TRunResult r = RunCommand(BinPath("kestrel-vdrive") + " insert --drive 0 --media dvd-ram");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    const std::string out = Probe("pwrite /dev/sr0 4094 hello");
    EXPECT_TRUE(Has(out, "pwrite 5")) << out;
    EXPECT_TRUE(Has(out, "readonly EBADF")) << out;
    // Across a sector boundary; the bytes around the write keep their value.
    const TRunResult back = RunPreloaded(BinPath("vdrive_sg_probe") + " pread /dev/sr0 4092 9", 60);
    EXPECT_EQ(back.Output, std::string("\0\0hello\0\0", 9));

    InsertPressedDisc(16);
    EXPECT_TRUE(Has(Probe("pwrite /dev/sr0 0 x"), "pwrite EROFS"));
}

TEST_F(Interposer, DescriptorsKeepStandingForTheDriveAcrossExec) {
    InsertPressedDisc(16);
    const std::string out = Probe("inherit /dev/sr0");
    EXPECT_TRUE(Has(out, "inherited blk")) << out;
    EXPECT_TRUE(Has(out, "read 2048")) << out;
    EXPECT_TRUE(Has(out, "alias 2048")) << out;
}

TEST_F(Interposer, ALateDriveIsCutOffAtTheCallersTimeOut) {
    TScopedEnv late("KESTREL_VDRIVE_DELAY_MS", "400");
    // Within the budget the command completes late but fine; past it the
    // host adapter reports a time-out (DID_TIME_OUT).
    std::string out = Probe("timed /dev/sr0 5000");
    EXPECT_TRUE(Has(out, "timed 0 status 0 host 0 info 0")) << out;
    out = Probe("timed /dev/sr0 50");
    EXPECT_TRUE(Has(out, "timed 0 status 0 host 3 info 1")) << out;
}

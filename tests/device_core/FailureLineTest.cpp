// The one line that reports a failed command in full, and which failures
// may be reported at all.
#include <gtest/gtest.h>

#include <vector>

#include "burner/device/FailureReport.h"

namespace kestrel {
namespace {

SRB_ExecSCSICmd FailedRead(std::vector<uint8_t>& Data) {
    SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_Status = SS_ERR;
    srb.SRB_HaId = 1;
    srb.SRB_Flags = 0x48;
    srb.SRB_Target = 11;
    srb.SRB_Lun = 0;
    srb.SRB_CDBLen = 10;
    srb.SRB_BufLen = uint32_t(Data.size());
    srb.SRB_BufPointer = Data.data();
    srb.SRB_TargStat = STATUS_CHKCOND;
    srb.CDBByte[0] = 0x28;
    srb.CDBByte[5] = 0x20;
    srb.CDBByte[8] = 16;
    srb.SenseArea[0] = 0x70;
    srb.SenseArea[2] = 0x03;
    srb.SenseArea[7] = 10;
    srb.SenseArea[12] = 0x11;
    srb.SenseArea[13] = 0x05;
    return srb;
}

TEST(FailureLine, ReadOfSixteenBlocks) {
    std::vector<uint8_t> data(32768);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i);
    const auto srb = FailedRead(data);
    const std::string line = FailureLine(srb, "MEDIUM ERROR (L-EC UNCORRECTABLE ERROR)");

    std::string expected = "<<< READ (10)              (28) {48|0A} - 1:B:0 <04> [08000] "
                           "00 00 00 00 20 00 00 10 00 00 00 00 00 00 00  |";
    static const char* Hex = "0123456789ABCDEF";
    for (int i = 0; i < 257; ++i) {
        const uint8_t b = uint8_t(i);
        expected += {Hex[b >> 4], Hex[b & 15], ' '};
    }
    expected += "= 00 02 70 03 ASC:11,ASQ:05 MEDIUM ERROR (L-EC UNCORRECTABLE ERROR)";
    EXPECT_EQ(line, expected);
}

TEST(FailureLine, WithoutDataAndWithAnUnnamedOpcode) {
    SRB_ExecSCSICmd srb{};
    srb.SRB_Status = SS_NO_DEVICE;
    srb.SRB_Flags = 0x40;
    srb.SRB_CDBLen = 12;
    srb.CDBByte[0] = 0x2C;
    srb.SRB_BufLen = 0;
    EXPECT_EQ(FailureLine(srb, "NO DEVICE"),
              "<<< 2C (2C) {40|0C} - 0:0:0 <82> [00000] 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00  |"
              "= 00 00 00 00 ASC:00,ASQ:00 NO DEVICE");
}

TEST(FailureLine, ShortDataIsShownWhole) {
    std::vector<uint8_t> data = {0xAB, 0xCD};
    auto srb = FailedRead(data);
    const std::string line = FailureLine(srb, "X");
    EXPECT_NE(line.find(" |AB CD = "), std::string::npos) << line;
    EXPECT_NE(line.find("[00002]"), std::string::npos) << line;
}

TEST(FailureReportable, RoutineCommandsAndLongWritesAreNotReported) {
    std::vector<uint8_t> data(16);
    auto srb = FailedRead(data);
    EXPECT_TRUE(IsReportableFailure(srb));
    for (uint8_t op : {0x00, 0x01, 0x04, 0x12, 0x1B, 0x1E, 0x23, 0x35, 0x43, 0x46, 0x51, 0x52, 0x55, 0x5A, 0x5C, 0xB6,
                       0xBB}) {
        srb.CDBByte[0] = op;
        EXPECT_FALSE(IsReportableFailure(srb)) << int(op);
    }
    srb.CDBByte[0] = 0x2A;
    EXPECT_TRUE(IsReportableFailure(srb));
    srb.SenseArea[12] = 0x04;
    srb.SenseArea[13] = 0x08;
    EXPECT_FALSE(IsReportableFailure(srb));
    srb.SenseArea[13] = 0x07;
    EXPECT_TRUE(IsReportableFailure(srb));
    srb.SRB_Status = SS_COMP;
    EXPECT_FALSE(IsReportableFailure(srb));
    srb.SRB_Status = SS_PENDING;
    EXPECT_FALSE(IsReportableFailure(srb));
}

}  // namespace
}  // namespace kestrel

// Status, sense key and additional sense texts, the message and command-name
// tables, on hand-made sense data.
#include <gtest/gtest.h>

#include <cstring>

#include "burner/device/CommandNames.h"
#include "burner/device/MessageTable.h"
#include "burner/device/SenseDecoder.h"

namespace kestrel {
namespace {

SRB_ExecSCSICmd CheckCondition(uint8_t Key, uint8_t ASC, uint8_t ASCQ, uint8_t AdditionalLength = 10) {
    SRB_ExecSCSICmd srb{};
    srb.SRB_Status = SS_ERR;
    srb.SRB_TargStat = STATUS_CHKCOND;
    srb.SenseArea[0] = 0x70;
    srb.SenseArea[2] = Key;
    srb.SenseArea[7] = AdditionalLength;
    srb.SenseArea[12] = ASC;
    srb.SenseArea[13] = ASCQ;
    return srb;
}

std::string ErrorOf(const SRB_ExecSCSICmd& Srb) {
    bool busy = false;
    return ErrorText(Srb, busy);
}

TEST(ErrorText, KeyWithAdditionalSenseText) {
    EXPECT_EQ(ErrorOf(CheckCondition(5, 0x24, 0x00)), "ILLEGAL REQUEST (INVALID FIELD IN CDB)");
    EXPECT_EQ(ErrorOf(CheckCondition(2, 0x3A, 0x01)), "NOT READY (MEDIUM NOT PRESENT - TRAY CLOSED)");
    EXPECT_EQ(ErrorOf(CheckCondition(2, 0x04, 0x08)), "NOT READY (LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS)");
}

TEST(ErrorText, NoAdditionalLengthGivesOnlyTheKey) {
    EXPECT_EQ(ErrorOf(CheckCondition(2, 0x3A, 0x00, 0)), "NOT READY");
}

TEST(ErrorText, UnknownPairShowsDecimalNumbers) {
    EXPECT_EQ(ErrorOf(CheckCondition(3, 0x81, 0x03)), "MEDIUM ERROR (129,3)");
}

TEST(ErrorText, ResponseCode71IsDecodedLike70) {
    auto srb = CheckCondition(6, 0x28, 0x00);
    srb.SenseArea[0] = 0x71;
    EXPECT_EQ(ErrorOf(srb), "UNIT ATTENTION (NOT READY TO READY CHANGE, MEDIUM MAY HAVE CHANGED)");
}

TEST(ErrorText, StatusTextStaysWhenNotACheckCondition) {
    auto srb = CheckCondition(5, 0x24, 0x00);
    srb.SRB_TargStat = 0x18;
    EXPECT_EQ(ErrorOf(srb), "TARGET RESERVATION CONFLICT (INVALID FIELD IN CDB)");
}

TEST(SenseKeyText, NoSenseKeyLooksAtTheFlagBits) {
    uint8_t sense[18] = {0x70, 0, 0x40};
    EXPECT_EQ(SenseKeyText(sense, sizeof sense), "END OF MEDIA");
    sense[2] = 0xC0;  // filemark wins over end of medium
    EXPECT_EQ(SenseKeyText(sense, sizeof sense), "FILEMARK");
    sense[2] = 0x20;
    EXPECT_EQ(SenseKeyText(sense, sizeof sense), "ILLEGAL LENGTH");
    sense[2] = 0x00;
    EXPECT_EQ(SenseKeyText(sense, sizeof sense), "NO ADDITIONAL SENSE INFORMATION");
}

TEST(SenseKeyText, EveryKey) {
    const char* expected[16] = {nullptr,          "RECOVERED ERROR", "NOT READY",       "MEDIUM ERROR",
                                "HARDWARE ERROR", "ILLEGAL REQUEST", "UNIT ATTENTION",  "DATA PROTECT",
                                "ERASE CHECK",    "CHECK CONDITION", "COPYABORTED",     "ABORTED COMMAND",
                                "CHECK CONDITION", "VOLUME OVERFLOW", "MISCOMPARE",     "RESERVED"};
    for (uint8_t key = 1; key < 16; ++key) {
        uint8_t sense[18] = {0x70, 0, uint8_t(key | 0x40)};  // flag bits do not matter for keys above 0
        EXPECT_EQ(SenseKeyText(sense, sizeof sense), expected[key]) << int(key);
    }
}

TEST(SenseKeyText, ResponseCodes) {
    uint8_t sense[18] = {};
    sense[2] = 5;
    EXPECT_EQ(SenseKeyText(sense, sizeof sense), "");
    sense[0] = 0x72;  // descriptor format is not decoded
    EXPECT_EQ(SenseKeyText(sense, sizeof sense), "UNKNOWN");
    sense[0] = 0xF0;  // valid bit with response code 70h
    EXPECT_EQ(SenseKeyText(sense, sizeof sense), "ILLEGAL REQUEST");
}

TEST(SenseKeyText, TruncatedSenseReadsAsZero) {
    const uint8_t sense[1] = {0x70};
    EXPECT_EQ(SenseKeyText(sense, sizeof sense), "NO ADDITIONAL SENSE INFORMATION");
    EXPECT_EQ(SenseKeyText(nullptr, 0), "");
}

// The progress indicator drives put in their NOT READY answers while they
// blank, format or close: sense key specific bytes 15 (valid bit) to 17.
TEST(SenseProgressIndicator, ReadOnlyWhereTheDriveGivesIt) {
    const auto progress = [](uint8_t Key, uint8_t Byte15, uint8_t AdditionalLength = 10, uint8_t Code = 0x70) {
        SRB_ExecSCSICmd srb = CheckCondition(Key, 0x04, 0x07, AdditionalLength);
        srb.SenseArea[0] = Code;
        srb.SenseArea[15] = Byte15;
        srb.SenseArea[16] = 0x40;
        srb.SenseArea[17] = 0x00;
        return SenseProgressIndicator(srb.SenseArea, sizeof srb.SenseArea);
    };
    EXPECT_EQ(progress(0x02, 0x80), 0.25);
    EXPECT_EQ(progress(0x00, 0x80), 0.25) << "NO SENSE, as REQUEST SENSE answers during a format";
    EXPECT_EQ(progress(0x02, 0x80, 10, 0x71), 0.25);
    EXPECT_EQ(progress(0x02, 0x00), std::nullopt) << "valid bit clear";
    EXPECT_EQ(progress(0x05, 0x80), std::nullopt) << "an illegal request carries a field pointer";
    EXPECT_EQ(progress(0x02, 0x80, 9), std::nullopt) << "sense data ending before byte 17";
    EXPECT_EQ(progress(0x02, 0x80, 10, 0x72), std::nullopt) << "descriptor format";
    uint8_t full[18] = {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x04, 0x04, 0, 0x80, 0xFF, 0xFF};
    EXPECT_EQ(SenseProgressIndicator(full, sizeof full), 65535.0 / 65536.0);
    EXPECT_EQ(SenseProgressIndicator(full, 17), std::nullopt);
}

TEST(StatusText, Table) {
    bool busy = true;
    EXPECT_EQ(StatusText(SS_COMP, 0, 0, busy), "");
    EXPECT_FALSE(busy);
    EXPECT_EQ(StatusText(SS_PENDING, 0x09, 0, busy), "");
    EXPECT_EQ(StatusText(SS_ABORTED, 0, 0, busy), "OPERATION ABORTED BY USER");
    EXPECT_EQ(StatusText(SS_ABORT_FAIL, 0, 0, busy), "OPERATION ABORTED BY USER");
    EXPECT_EQ(StatusText(SS_ERR, 0, 0, busy), "CHECK CONDITION");
    EXPECT_EQ(StatusText(SS_ERR, 0, 0x28, busy), "TARGET QUEUE FULL");
    EXPECT_EQ(StatusText(SS_ERR, 0, 0x30, busy), "UNKNOWN");
    const std::pair<uint8_t, const char*> hostStates[] = {
        {0x09, "COMMAND TIMEOUT"},      {0x0B, "SRB TIMEOUT"},  {0x0D, "MESSAGE REJECT"},
        {0x0E, "BUS RESET"},            {0x0F, "PARITY ERROR"}, {0x10, "REQUEST SENSE FAILED"},
        {0x11, "SELECTION TIMEOUT"},    {0x12, "DATA OVERRUN"}, {0x13, "UNEXPECTED BUS FREE"},
        {0x01, "UNKNOWN"},
    };
    for (auto [ha, text] : hostStates) EXPECT_EQ(StatusText(SS_ERR, ha, STATUS_BUSY, busy), text) << int(ha);
    EXPECT_FALSE(busy) << "busy is a target status of a request without host adapter trouble";
    const std::pair<uint8_t, const char*> requestStates[] = {
        {SS_INVALID_CMD, "INVALID REQUEST"}, {SS_INVALID_HA, "INVALID HOST ADAPTER"}, {SS_NO_DEVICE, "NO DEVICE"},
        {SS_INVALID_SRB, "INVALID SRB"},     {SS_BUFFER_ALIGN, "BUFFER ALIGNMENT"},   {SS_ASPI_IS_BUSY, "ASPI IS BUSY"},
        {SS_BUFFER_TO_BIG, "BUFFER TOO BIG"}, {SS_ILLEGAL_MODE, "UNKNOWN"},          {SS_NO_ADAPTERS, "UNKNOWN"},
    };
    for (auto [status, text] : requestStates) EXPECT_EQ(StatusText(status, 0, 0, busy), text) << int(status);
}

TEST(StatusText, BusyTargetSetsTheFlagAndTheNextDecodingClearsIt) {
    bool busy = false;
    EXPECT_EQ(StatusText(SS_ERR, 0, STATUS_BUSY, busy), "TARGET BUSY");
    EXPECT_TRUE(busy);
    StatusText(SS_ERR, 0, STATUS_CHKCOND, busy);
    EXPECT_FALSE(busy);
}

TEST(MessageTable, AdditionalSensePairs) {
    EXPECT_EQ(AdditionalSenseCount(), 256);
    EXPECT_STREQ(AdditionalSenseText(0x00, 0x00), "NO ADDITIONAL SENSE INFORMATION");
    EXPECT_STREQ(AdditionalSenseText(0x5D, 0xFF), "FAILURE PREDICTION THRESHOLD EXCEEDED (FALSE)");
    EXPECT_STREQ(AdditionalSenseText(0x73, 0x06), "RMA/PMA IS ALMOST FULL");
    EXPECT_STREQ(AdditionalSenseText(0x3B, 0x0F), "END OF MEDIUM REACHED");
    EXPECT_EQ(AdditionalSenseText(0x3B, 0x00), nullptr);
    EXPECT_EQ(AdditionalSenseText(0xFF, 0xFF), nullptr);
    EXPECT_EQ(AdditionalSenseMessage(0x81, 0x03), "129,3");
}

TEST(MessageTable, FixedMessagesAndFormatting) {
    EXPECT_EQ(LoadMessage(msgFirst), "UNKNOWN");
    EXPECT_EQ(msgFirst, 64928);
    EXPECT_EQ(LoadMessage(msgInvalidDeviceId), "INVALID DEVICE ID / NOT A CD OR DVD DRIVE");
    EXPECT_EQ(LoadMessage(msgLast + 1), "");
    EXPECT_EQ(LoadMessage(msgFirst - 1), "");
    for (int id = msgFirst; id <= msgLast; ++id) EXPECT_FALSE(LoadMessage(id).empty()) << id;
    EXPECT_EQ(FormatMessage(LoadMessage(msgStartingErase), {"CD-RW", "10X (1,764 KB/s)"}),
              "STARTING ERASE PROCESS ON CD-RW AT 10X (1,764 KB/s)");
    EXPECT_EQ(FormatMessage("%s and %s", {"one"}), "one and %s");
    EXPECT_EQ(FormatMessage("100%", {"x"}), "100%");
}

TEST(CommandNames, PaddedNamesAndHexForTheRest) {
    EXPECT_EQ(CommandName(0x28), "READ (10)             ");
    EXPECT_EQ(CommandName(0x28).size(), 22u);
    EXPECT_EQ(CommandName(0x52), "READ TRACK INFORMATION");
    EXPECT_EQ(CommandName(0x4A), "GET EVENT/STATUS NOTIF");
    EXPECT_EQ(CommandName(0xBF), "SEND DVD STRUCTURE    ");
    EXPECT_EQ(CommandName(0x2C), "2C");
    EXPECT_EQ(CommandName(0x02), "02");
    EXPECT_EQ(CommandName(0xFE), "FE");
    EXPECT_EQ(CommandName(0xFF), "");
    int named = 0;
    for (int op = 0; op < 0xFF; ++op) named += CommandName(uint8_t(op)).size() == 22;
    EXPECT_EQ(named, 51);
}

}  // namespace
}  // namespace kestrel

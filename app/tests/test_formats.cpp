// The window's number formats, the speed entries and the speed they send.
#include <QTest>

#include "app/Formats.h"
#include "burner/device/MediumTables.h"

using namespace kestrel::app;

class TFormatsTest : public QObject {
    Q_OBJECT
private slots:
    void sizesInMegabytes();
    void sizeCells();
    void speedEntries();
    void speedFromEntries();
};

void TFormatsTest::sizesInMegabytes() {
    QCOMPARE(FormatMB(13107200), std::string("12.50"));
    QCOMPARE(FormatMB(681574400), std::string("650.00"));
    QCOMPARE(FormatMB(0), std::string("0.00"));
    // 4.7 GB and rounding half away from zero at the second decimal.
    QCOMPARE(FormatMB(4700372992LL), std::string("4,482.63"));
    QCOMPARE(FormatMB(5242), std::string("0.00"));
    QCOMPARE(FormatMB(5243), std::string("0.01"));
}

void TFormatsTest::sizeCells() {
    QCOMPARE(FormatSizeCell(0), std::string());
    QCOMPARE(FormatSizeCell(1), std::string("1"));
    QCOMPARE(FormatSizeCell(999), std::string("999"));
    QCOMPARE(FormatSizeCell(1000), std::string("1,000"));
    QCOMPARE(FormatSizeCell(1234567890123LL), std::string("1,234,567,890,123"));
}

void TFormatsTest::speedEntries() {
    QCOMPARE(SpeedEntry(4234, TSpeedUnit::CD), std::string("24X (4,234 KB/s)"));
    QCOMPARE(SpeedEntry(176, TSpeedUnit::CD), std::string("1X (176 KB/s)"));
    QCOMPARE(SpeedEntry(5540, TSpeedUnit::DVD), std::string("4.0X (5,540 KB/s)"));
    QCOMPARE(SpeedEntry(22160, TSpeedUnit::DVD), std::string("16.0X (22,160 KB/s)"));
    QCOMPARE(SpeedEntry(3324, TSpeedUnit::DVD), std::string("2.4X (3,324 KB/s)"));
    QCOMPARE(SpeedEntry(53946, TSpeedUnit::BD), std::string("12.0X (53,946 KB/s)"));
    QCOMPARE(SpeedEntry(8991, TSpeedUnit::BD), std::string("2.0X (8,991 KB/s)"));
    QCOMPARE(SpeedUnitOf(kestrel::mtCDRW), TSpeedUnit::CD);
    QCOMPARE(SpeedUnitOf(kestrel::mtDVDPlusRDL), TSpeedUnit::DVD);
    QCOMPARE(SpeedUnitOf(kestrel::mtBDR), TSpeedUnit::BD);
}

void TFormatsTest::speedFromEntries() {
    QCOMPARE(SpeedFromText("Max", TSpeedUnit::CD), uint16_t(0));
    QCOMPARE(SpeedFromText("", TSpeedUnit::DVD), uint16_t(0));
    // The factor, not the KB/s figure, decides: 24 x 177.
    QCOMPARE(SpeedFromText("24X (4,234 KB/s)", TSpeedUnit::CD), uint16_t(4248));
    QCOMPARE(SpeedFromText("4.0X (5,540 KB/s)", TSpeedUnit::DVD), uint16_t(5540));
    QCOMPARE(SpeedFromText("2.4X (3,324 KB/s)", TSpeedUnit::DVD), uint16_t(3324));
    QCOMPARE(SpeedFromText("junk", TSpeedUnit::CD), uint16_t(0));
    QCOMPARE(SpeedFromText("999X", TSpeedUnit::DVD), uint16_t(65535));
    // 1x of BD is 4,495.5 KB/s: 2x is 8,991, 12x 53,946.
    QCOMPARE(SpeedFromText("2.0X (8,991 KB/s)", TSpeedUnit::BD), uint16_t(8991));
    QCOMPARE(SpeedFromText("12.0X (53,946 KB/s)", TSpeedUnit::BD), uint16_t(53946));
}

QTEST_MAIN(TFormatsTest)
#include "test_formats.moc"

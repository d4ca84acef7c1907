// The measure of list entries and the image estimate drawn from it, checked
// against the burner's own size count and its real layout.
#include <QTest>

#include <unistd.h>

#include <filesystem>

#include "app/FillMeter.h"
#include "app/ImageEstimate.h"
#include "app/tests/AppTestSupport.h"
#include "burner/engine/KestrelBurner.h"
#include "burner/iso/FillCompilation.h"

using namespace kestrel::app;
using kestrel::test::TTempDir;
using kestrel::test::WriteFile;

namespace {

// A tree with many small files (where per-file rounding and directory
// records matter), a few larger ones, nested and empty folders, a hidden
// file, a link back up the tree and a broken link.
void MakeTree(const std::string& Root) {
    for (int d = 0; d < 6; ++d)
        for (int f = 0; f < 40; ++f)
            WriteFile(Root + "/dir" + std::to_string(d) + "/file_with_a_longer_name_" + std::to_string(f) + ".txt",
                      std::string(100 + 37 * f, 'x'));
    WriteFile(Root + "/big/one.bin", std::string(3 * 1048576 + 5, 'b'));
    WriteFile(Root + "/big/deeper/two.bin", std::string(700000, 'c'));
    WriteFile(Root + "/.hidden", "hidden");
    std::filesystem::create_directories(Root + "/empty");
    std::filesystem::create_directory_symlink(Root, Root + "/dir0/loop");
    std::filesystem::create_symlink(Root + "/nothing", Root + "/dir1/broken");
}

// The image the burner lays out for one directory entry.
int64_t LaidOutSectors(const std::string& Dir, bool Recursive) {
    kestrel::TKestrelBurner burner;
    burner.ClearAll(600000, 20000);
    kestrel::TFillOptions options;
    options.SavePath = kestrel::TSavePathState::Grayed;
    kestrel::FillCompilation(burner, {{Dir + "/", Recursive}}, options);
    burner.WritePostGap = true;
    burner.BuildLayout(true, nullptr);
    return burner.ImageSectors();
}

}  // namespace

class TEstimateTest : public QObject {
    Q_OBJECT
private slots:
    void measureCountsWhatTheBurnerCounts();
    void estimateIsCloseToTheRealLayout();
    void fillLevelsAndWords();
};

void TEstimateTest::measureCountsWhatTheBurnerCounts() {
    TTempDir dir;
    const std::string root = (dir.Path() / "tree").string();
    MakeTree(root);
    kestrel::TKestrelBurner burner;
    for (const std::string& path : {root, root + "/", root + "/big/one.bin", root + "/dir1", root + "/empty/"}) {
        const TSourceMeasure measure = MeasureSource(path);
        QCOMPARE(measure.Bytes, burner.GetPathSize(path));
        QVERIFY(!measure.Missing);
    }
    // The folder's own files only, with the "R" box cleared.
    const TSourceMeasure big = MeasureSource(root + "/big/");
    QCOMPARE(big.Top.Data, int64_t((3 * 1048576 + 5 + 2047) / 2048));
    QCOMPARE(big.Tree.Data, big.Top.Data + (700000 + 2047) / 2048);
    QCOMPARE(big.Top.Dirs, int64_t(1));
    QCOMPARE(big.Tree.Dirs, int64_t(2));
    // Nothing there: missing, and no size.
    const TSourceMeasure gone = MeasureSource(root + "/no-such-file");
    QVERIFY(gone.Missing);
    QCOMPARE(gone.Bytes, int64_t(0));
    QVERIFY(MeasureSource(root + "/dir1/broken").Missing);
}

void TEstimateTest::estimateIsCloseToTheRealLayout() {
    TTempDir dir;
    const std::string root = (dir.Path() / "tree").string();
    MakeTree(root);
    for (const bool recursive : {true, false}) {
        const std::string source = recursive ? root : root + "/big";
        const int64_t real = LaidOutSectors(source, recursive);
        const int64_t estimate = EstimateImageSectors({{MeasureSource(source + "/"), recursive}});
        // Close, and rather above than below: a meter that says "fits" must be right.
        QVERIFY2(estimate >= real && estimate <= real + real / 50 + 8,
                 qPrintable(QString("estimate %1, layout %2").arg(estimate).arg(real)));
    }
    QCOMPARE(EstimateImageSectors({}), int64_t(0));
    // One small file still makes the smallest image a disc gets.
    QCOMPARE(EstimateImageSectors({{MeasureFromBytes(10), false}}), int64_t(300));
}

void TEstimateTest::fillLevelsAndWords() {
    TDiscSpace disc;
    disc.State = TDiscSpace::TState::Blank;
    disc.Type = 10;  // DVD+RW
    disc.FreeBytes = disc.CapacityBytes = 2295104LL * 2048;
    QCOMPARE(DescribeDisc(disc), QString("DVD+RW, blank, 4.38 GB free"));
    const int64_t free = disc.FreeBytes;
    QCOMPARE(int(FillLevelFor(free * 90 / 100, disc)), int(TFillLevel::Green));
    QCOMPARE(int(FillLevelFor(free * 90 / 100 + 1, disc)), int(TFillLevel::Yellow));
    QCOMPARE(int(FillLevelFor(free, disc)), int(TFillLevel::Yellow));
    QCOMPARE(int(FillLevelFor(free + 1, disc)), int(TFillLevel::Red));
    // A closed disc has no room at all; without a disc there is no level.
    disc.State = TDiscSpace::TState::Closed;
    disc.Type = 1;
    disc.FreeBytes = 0;
    QCOMPARE(DescribeDisc(disc), QString("CD-ROM, closed, no space"));
    QCOMPARE(int(FillLevelFor(1, disc)), int(TFillLevel::Red));
    QCOMPARE(int(FillLevelFor(0, disc)), int(TFillLevel::Green));
    QCOMPARE(int(FillLevelFor(1, TDiscSpace{})), int(TFillLevel::None));
    disc.State = TDiscSpace::TState::Appendable;
    disc.Type = 2;
    disc.Sessions = 2;
    disc.FreeBytes = 512LL * 1048576;
    QCOMPARE(DescribeDisc(disc), QString("CD-R, appendable, 2 sessions, 512.00 MB free"));
}

QTEST_MAIN(TEstimateTest)
#include "test_estimate.moc"

#pragma once
// The disc fill meter under the compilation list: the compilation's size
// against the space the disc in the drive still offers, as a coloured bar
// (green, yellow past 90 %, red past 100 %) and the disc in words.
#include <QColor>
#include <QWidget>

#include <cstdint>

#include "app/DiscSpace.h"

class QLabel;

namespace kestrel::app {

enum class TFillLevel { None, Green, Yellow, Red };

// None when there is no disc to fill; otherwise by how much of Available
// the Needed bytes take.
TFillLevel FillLevelFor(int64_t Needed, const TDiscSpace& Disc);
QColor FillColor(TFillLevel Level);

// The bar itself, painted so its colour shows whatever the style.
class TFillBar : public QWidget {
    Q_OBJECT
public:
    explicit TFillBar(QWidget* Parent = nullptr);

    void Show(double Fraction, TFillLevel Level, const QString& Text);
    double Fraction() const { return fraction_; }
    const QString& Text() const { return text_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    double fraction_ = 0;
    TFillLevel level_ = TFillLevel::None;
    QString text_;
};

class TFillMeter : public QWidget {
    Q_OBJECT
public:
    explicit TFillMeter(QWidget* Parent = nullptr);

    // The compilation's estimated image size; Counting while sizes of the
    // list are still being counted.
    void SetNeeded(int64_t Bytes, bool Counting);
    void SetDisc(const TDiscSpace& Disc);

    TFillLevel Level() const { return level_; }
    // Needed of free in whole percent (past 100 when it does not fit); -1
    // without a disc.
    int Percent() const;
    QString BarText() const;
    QString DiscText() const;
    const TDiscSpace& Disc() const { return disc_; }
    int64_t Needed() const { return needed_; }

private:
    void Update();

    TFillBar* bar_;
    QLabel* discLabel_;
    int64_t needed_ = 0;
    bool counting_ = false;
    TDiscSpace disc_;
    TFillLevel level_ = TFillLevel::None;
};

}  // namespace kestrel::app

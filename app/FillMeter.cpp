#include "app/FillMeter.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace kestrel::app {

namespace {

constexpr double kYellowFrom = 0.90;

double FractionOf(int64_t Needed, const TDiscSpace& Disc) {
    if (!Disc.HasDisc()) return 0;
    if (Disc.FreeBytes <= 0) return Needed > 0 ? 2.0 : 0.0;
    return double(Needed) / double(Disc.FreeBytes);
}

// Black or white, whichever reads better on Background.
QColor TextColorOn(const QColor& Background) {
    const double luminance = 0.299 * Background.redF() + 0.587 * Background.greenF() + 0.114 * Background.blueF();
    return luminance > 0.55 ? Qt::black : Qt::white;
}

}  // namespace

TFillLevel FillLevelFor(int64_t Needed, const TDiscSpace& Disc) {
    if (!Disc.HasDisc()) return TFillLevel::None;
    const double fraction = FractionOf(Needed, Disc);
    if (fraction > 1.0) return TFillLevel::Red;
    if (fraction > kYellowFrom) return TFillLevel::Yellow;
    return TFillLevel::Green;
}

QColor FillColor(TFillLevel Level) {
    switch (Level) {
        case TFillLevel::Green: return QColor(0x3c, 0xa0, 0x46);
        case TFillLevel::Yellow: return QColor(0xe8, 0xb4, 0x1c);
        case TFillLevel::Red: return QColor(0xd0, 0x32, 0x2c);
        case TFillLevel::None: break;
    }
    return QColor(0x9a, 0x9a, 0x9a);
}

// ---- The bar ------------------------------------------------------------------

TFillBar::TFillBar(QWidget* Parent) : QWidget(Parent) { setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed); }

void TFillBar::Show(double Fraction, TFillLevel Level, const QString& Text) {
    fraction_ = Fraction;
    level_ = Level;
    text_ = Text;
    update();
}

QSize TFillBar::sizeHint() const { return {240, fontMetrics().height() + 6}; }

QSize TFillBar::minimumSizeHint() const { return {80, fontMetrics().height() + 6}; }

void TFillBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    painter.setPen(palette().color(QPalette::Mid));
    painter.setBrush(palette().color(QPalette::Base));
    painter.drawRect(frame);
    const QRect inside = frame.adjusted(1, 1, 0, 0);
    const QColor fill = FillColor(level_);
    const int filled = static_cast<int>(std::lround(inside.width() * std::clamp(fraction_, 0.0, 1.0)));
    painter.fillRect(QRect(inside.topLeft(), QSize(filled, inside.height())), fill);
    // The text sits mostly on the filled part once the bar is half full.
    painter.setPen(fraction_ >= 0.5 ? TextColorOn(fill) : palette().color(QPalette::Text));
    painter.drawText(inside, Qt::AlignCenter, text_);
}

// ---- The meter ------------------------------------------------------------------

TFillMeter::TFillMeter(QWidget* Parent) : QWidget(Parent) {
    bar_ = new TFillBar(this);
    bar_->setObjectName(QStringLiteral("pFill"));
    discLabel_ = new QLabel(this);
    discLabel_->setObjectName(QStringLiteral("lDiscSpace"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    row->addWidget(bar_, 1);
    row->addWidget(discLabel_);
    setToolTip(QStringLiteral("Estimated size of the compilation against the space left on the disc in the drive.\n"
                              "Green: it fits; yellow: more than 90 % full; red: it does not fit."));
    Update();
}

void TFillMeter::SetNeeded(int64_t Bytes, bool Counting) {
    needed_ = Bytes;
    counting_ = Counting;
    Update();
}

void TFillMeter::SetDisc(const TDiscSpace& Disc) {
    disc_ = Disc;
    Update();
}

int TFillMeter::Percent() const {
    if (!disc_.HasDisc()) return -1;
    if (disc_.FreeBytes <= 0) return needed_ > 0 ? 999 : 0;
    return static_cast<int>(std::ceil(100.0 * double(needed_) / double(disc_.FreeBytes)));
}

QString TFillMeter::BarText() const {
    QString text = SpaceText(needed_);
    if (disc_.HasDisc() && disc_.FreeBytes > 0)
        text = QStringLiteral("%1 of %2 (%3 %)").arg(text, SpaceText(disc_.FreeBytes)).arg(Percent());
    else if (disc_.HasDisc())
        text += QStringLiteral(", no space on the disc");
    if (counting_) text += QStringLiteral(", counting\u2026");
    return text;
}

QString TFillMeter::DiscText() const { return DescribeDisc(disc_); }

void TFillMeter::Update() {
    level_ = FillLevelFor(needed_, disc_);
    bar_->Show(FractionOf(needed_, disc_), level_, BarText());
    discLabel_->setText(DiscText());
}

}  // namespace kestrel::app

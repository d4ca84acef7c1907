#include "app/AppIcons.h"

#include <QApplication>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace kestrel::app {

namespace {

// The disc of kestrel.svg (a 64-unit square), painted.
class TDiscIconEngine final : public QIconEngine {
public:
    void paint(QPainter* Painter, const QRect& Rect, QIcon::Mode, QIcon::State) override {
        Painter->save();
        Painter->setRenderHint(QPainter::Antialiasing);
        Painter->translate(Rect.topLeft());
        Painter->scale(Rect.width() / 64.0, Rect.height() / 64.0);
        QRadialGradient disc(32, 32, 32);
        disc.setColorAt(0.25, QColor(0xf4, 0xf6, 0xfa));
        disc.setColorAt(0.6, QColor(0xb9, 0xc7, 0xdc));
        disc.setColorAt(0.85, QColor(0xd9, 0xc4, 0xe8));
        disc.setColorAt(1.0, QColor(0x8f, 0xa3, 0xc2));
        const QColor edge(0x4a, 0x5a, 0x78);
        Painter->setPen(QPen(edge, 2));
        Painter->setBrush(disc);
        Painter->drawEllipse(QPointF(32, 32), 29, 29);
        Painter->setPen(QPen(edge, 1.5));
        Painter->setBrush(Qt::white);
        Painter->drawEllipse(QPointF(32, 32), 9, 9);
        Painter->setPen(Qt::NoPen);
        Painter->setBrush(edge);
        Painter->drawEllipse(QPointF(32, 32), 3.5, 3.5);
        QPainterPath wing;
        wing.moveTo(10, 40);
        wing.cubicTo(20, 28, 30, 26, 44, 22);
        wing.lineTo(54, 16);
        wing.lineTo(48, 26);
        wing.cubicTo(40, 32, 30, 38, 14, 44);
        wing.closeSubpath();
        Painter->setPen(QPen(QColor(0x6e, 0x24, 0x17), 1));
        Painter->setBrush(QColor(0xb5, 0x43, 0x2d));
        Painter->drawPath(wing);
        Painter->setPen(Qt::NoPen);
        Painter->setBrush(QColor(0xe0, 0xa0, 0x30));
        Painter->drawPolygon(QPolygonF({QPointF(44, 22), QPointF(50, 24), QPointF(48, 26)}));
        Painter->restore();
    }

    QPixmap pixmap(const QSize& Size, QIcon::Mode Mode, QIcon::State State) override {
        QPixmap pixmap(Size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), Size), Mode, State);
        return pixmap;
    }

    QIconEngine* clone() const override { return new TDiscIconEngine; }
};

}  // namespace

QIcon ThemeIcon(const char* Name, QStyle::StandardPixmap Fallback) {
    const QString name = QString::fromLatin1(Name);
    if (QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
    return QApplication::style()->standardIcon(Fallback);
}

QIcon KestrelIcon() {
    if (QImageReader::supportedImageFormats().contains("svg")) return QIcon(QStringLiteral(":/kestrel.svg"));
    return QIcon(new TDiscIconEngine);
}

}  // namespace kestrel::app

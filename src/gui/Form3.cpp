#include "Form3.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace trawlex {
namespace {

// The colour the status line blinks in marks the hit in the picture as well.
const QColor kHitColour(255, 150, 0);

// The credit line stands on a darker band along the picture's lower edge.
constexpr int kBandHeight = 26;

// A page of text lines, the third of them a hit.
void DrawPage(QPainter& painter, const QRectF& page) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 60));
    painter.drawRoundedRect(page.translated(3, 4), 5, 5);
    painter.setBrush(QColor(247, 249, 251));
    painter.drawRoundedRect(page, 5, 5);

    // Lines of uneven length read as text.
    static constexpr double kLineLengths[] = {0.82, 0.64, 0.74, 0.88, 0.55, 0.79, 0.68, 0.42};
    constexpr int kHitLine = 3;
    const double left = page.left() + 10;
    const double width = page.width() - 20;
    double top = page.top() + 14;
    int line = 0;
    for (const double length : kLineLengths) {
        painter.setBrush(line == kHitLine ? kHitColour : QColor(176, 190, 202));
        painter.drawRoundedRect(QRectF(left, top, width * length, 5), 2.5, 2.5);
        top += 12;
        ++line;
    }
}

// A page of text with a magnifying glass over its hit, and the program's name beside it.
class Picture final : public QWidget {
public:
    explicit Picture(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("Picture1"));
        setFixedSize(Form3::kPictureWidth, Form3::kPictureHeight);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF area = rect();

        QLinearGradient sky(area.topLeft(), area.bottomRight());
        sky.setColorAt(0, QColor(14, 42, 72));
        sky.setColorAt(1, QColor(28, 104, 132));
        painter.fillRect(area, sky);

        // A soft light behind the page lifts it from the background.
        QRadialGradient glow(QPointF(80, 80), 110);
        glow.setColorAt(0, QColor(255, 255, 255, 46));
        glow.setColorAt(1, QColor(255, 255, 255, 0));
        painter.fillRect(area, glow);

        const QRectF page(26, 18, 96, 118);
        DrawPage(painter, page);

        // The lens shows the page enlarged around the hit.
        const QPointF centre(page.left() + 58, page.top() + 56);
        constexpr double kRadius = 27;
        QPainterPath lens;
        lens.addEllipse(centre, kRadius, kRadius);
        painter.save();
        painter.setClipPath(lens);
        painter.translate(centre);
        painter.scale(1.7, 1.7);
        painter.translate(-centre);
        DrawPage(painter, page);
        painter.restore();
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(190, 225, 255, 40));
        painter.drawPath(lens);

        // The handle leaves the rim at the lower right.
        const QPointF direction(0.7071, 0.7071);
        const QPointF handleStart = centre + direction * (kRadius + 2);
        const QPointF handleEnd = centre + direction * (kRadius + 34);
        painter.setPen(QPen(QColor(52, 40, 32), 11, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(handleStart, handleEnd);
        painter.setPen(QPen(QColor(120, 92, 70), 3, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(handleStart + direction * 6 + QPointF(-2, 2), handleEnd + QPointF(-2, 2));
        painter.setPen(QPen(QColor(226, 234, 240), 6));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(centre, kRadius, kRadius);
        painter.setPen(QPen(QColor(255, 255, 255, 150), 2, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(QRectF(centre.x() - kRadius + 7, centre.y() - kRadius + 7, 2 * kRadius - 14,
                               2 * kRadius - 14),
                        100 * 16, 70 * 16);

        const double textLeft = 168;
        QFont font = this->font();
        font.setBold(true);
        font.setPixelSize(42);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QPointF(textLeft, 66), QStringLiteral("Trawlex"));

        font.setBold(false);
        font.setPixelSize(20);
        painter.setFont(font);
        painter.setPen(QColor(206, 228, 240));
        painter.drawText(QPointF(textLeft + 2, 94), QStringLiteral("und Replace"));

        painter.setPen(QPen(kHitColour, 2));
        painter.drawLine(QPointF(textLeft + 2, 106), QPointF(textLeft + 64, 106));

        font.setPixelSize(12);
        painter.setFont(font);
        painter.setPen(QColor(166, 201, 219));
        painter.drawText(QPointF(textLeft + 2, 124), QStringLiteral("Suchen und Ersetzen"));
        painter.drawText(QPointF(textLeft + 2, 139), QStringLiteral("in Verzeichnisbäumen"));

        painter.fillRect(QRectF(0, area.height() - kBandHeight, area.width(), kBandHeight),
                         QColor(0, 0, 0, 80));
    }
};

}  // namespace

// A window of fixed size that only shows something needs no buttons but the close box.
Form3::Form3(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Copyright und Infos"));
    setFixedSize(kPictureWidth, kPictureHeight);
    // Closing the about window forgets it, and it never keeps the program running once the main
    // window is closed.
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* picture = new Picture(this);
    picture->move(0, 0);

    auto* label1 = new QLabel(
        QStringLiteral("Version " TRAWLEX_VERSION " · © 2026 das Trawlex-Team"), picture);
    label1->setObjectName(QStringLiteral("Label1"));
    label1->setGeometry(0, kPictureHeight - kBandHeight, kPictureWidth, kBandHeight);
    label1->setAlignment(Qt::AlignCenter);
    QPalette palette = label1->palette();
    palette.setColor(QPalette::WindowText, QColor(236, 242, 246));
    label1->setPalette(palette);
    QFont font = label1->font();
    font.setPixelSize(12);
    label1->setFont(font);
}

}  // namespace trawlex

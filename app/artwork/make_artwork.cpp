// Draws the program's artwork: the Velmora logo (in the window and as the
// desktop icon at every size the icon theme asks for), the maker's logo,
// the two link glyphs and the pointer shown over the links. Everything is
// drawn from shapes, so every size is sharp, and written as PNG with real
// alpha (the pointer as a cursor file). Run at build time:
//
//   make_artwork OUTPUT_FOLDER

#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

QImage canvas(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// A soft shadow under a round shape: rings of falling alpha.
void softShadow(QPainter& p, QPointF centre, qreal radius, qreal spread, int alpha) {
    p.save();
    p.setPen(Qt::NoPen);
    QRadialGradient g(centre, radius + spread);
    g.setColorAt(radius / (radius + spread) * 0.85, QColor(0, 0, 0, alpha));
    g.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.setBrush(g);
    p.drawEllipse(centre, radius + spread, radius + spread);
    p.restore();
}

// The Velmora mark: a globe of the name servers' network, with a bright
// switch arrow turning around it. Drawn in a square of side s.
QImage velmoraLogo(int s) {
    QImage image = canvas(s, s);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal u = s / 48.0;
    const QPointF c(24 * u, 23 * u);
    const qreal r = 18.5 * u;
    if (s >= 24) softShadow(p, c + QPointF(0, 1.6 * u), r, 3.2 * u, 90);

    QRadialGradient sea(c - QPointF(6 * u, 7 * u), r * 1.5);
    sea.setColorAt(0.0, QColor(0x5e, 0xe0, 0xd0));
    sea.setColorAt(0.55, QColor(0x14, 0x8f, 0xa8));
    sea.setColorAt(1.0, QColor(0x0b, 0x3c, 0x6e));
    p.setPen(QPen(QColor(0x08, 0x2f, 0x57, 230), std::max<qreal>(1.0, 1.1 * u)));
    p.setBrush(sea);
    p.drawEllipse(c, r, r);

    // Meridians and parallels, thinner on small icons.
    if (s >= 24) {
        p.save();
        QPainterPath clip;
        clip.addEllipse(c, r - 0.6 * u, r - 0.6 * u);
        p.setClipPath(clip);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 255, 255, 85), 1.0 * u));
        for (qreal k : {0.38, 0.75})
            p.drawEllipse(c, r * k, r);
        p.drawLine(QPointF(c.x(), c.y() - r), QPointF(c.x(), c.y() + r));
        for (qreal dy : {-0.5, 0.0, 0.5}) {
            const qreal y = c.y() + dy * r;
            const qreal half = std::sqrt(std::max<qreal>(0, r * r - (y - c.y()) * (y - c.y())));
            p.drawLine(QPointF(c.x() - half, y), QPointF(c.x() + half, y));
        }
        p.restore();
    }

    // The switch: an arc with an arrow head, in warm white.
    p.save();
    QPen arc(QColor(0xff, 0xf4, 0xd6), std::max<qreal>(1.6, 3.4 * u), Qt::SolidLine, Qt::RoundCap);
    p.setPen(arc);
    p.setBrush(Qt::NoBrush);
    const QRectF ring(c.x() - r * 0.58, c.y() - r * 0.58, r * 1.16, r * 1.16);
    p.drawArc(ring, 200 * 16, 250 * 16);
    const qreal a = (200 + 250) * M_PI / 180.0;
    const QPointF tip(c.x() + r * 0.58 * std::cos(a), c.y() - r * 0.58 * std::sin(a));
    QPainterPath head;
    const qreal h = std::max<qreal>(2.5, 5.5 * u);
    head.moveTo(tip + QPointF(-h * 0.9, -h * 0.2));
    head.lineTo(tip + QPointF(h * 0.5, -h * 0.9));
    head.lineTo(tip + QPointF(h * 0.4, h * 0.8));
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xf4, 0xd6));
    p.drawPath(head);
    p.restore();

    // A highlight on the upper left.
    if (s >= 32) {
        QRadialGradient shine(c - QPointF(7 * u, 9 * u), 9 * u);
        shine.setColorAt(0.0, QColor(255, 255, 255, 110));
        shine.setColorAt(1.0, QColor(255, 255, 255, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(shine);
        p.drawEllipse(c - QPointF(7 * u, 9 * u), 9 * u, 9 * u);
    }
    return image;
}

// The maker's logo: a ring mark and the name "orvello".
QImage makerLogo() {
    QImage image = canvas(125, 49);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QPointF c(22, 24);
    QLinearGradient warm(QPointF(8, 8), QPointF(36, 40));
    warm.setColorAt(0.0, QColor(0xff, 0xa7, 0x26));
    warm.setColorAt(1.0, QColor(0xe0, 0x2f, 0x6b));
    QPainterPath ring;
    ring.addEllipse(c, 17, 17);
    ring.addEllipse(c + QPointF(2.5, -2), 8.5, 8.5);
    ring.setFillRule(Qt::OddEvenFill);
    p.setPen(Qt::NoPen);
    p.setBrush(warm);
    p.drawPath(ring);

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(21);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, -0.6);
    p.setFont(font);
    p.setPen(QColor(0x26, 0x32, 0x40));
    p.drawText(QRectF(43, 7, 82, 26), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("orvello"));
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(9);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
    p.setFont(small);
    p.setPen(QColor(0x6b, 0x77, 0x85));
    p.drawText(QRectF(45, 31, 80, 12), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("SOFTWARE"));
    return image;
}

// A round badge with a white glyph drawn by `glyph` in a 48-unit square.
template <typename Glyph>
QImage badge(QColor top, QColor bottom, Glyph glyph) {
    QImage image = canvas(48, 48);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(24, 23);
    softShadow(p, c + QPointF(0, 1.5), 19, 3, 85);
    QLinearGradient fill(QPointF(0, 4), QPointF(0, 42));
    fill.setColorAt(0.0, top);
    fill.setColorAt(1.0, bottom);
    p.setPen(QPen(bottom.darker(125), 1.0));
    p.setBrush(fill);
    p.drawEllipse(c, 19, 19);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 245));
    glyph(p);
    return image;
}

// The project's home page: a house.
QImage homeGlyph() {
    return badge(QColor(0x4c, 0xc7, 0x6d), QColor(0x1d, 0x84, 0x45), [](QPainter& p) {
        QPainterPath house;
        house.moveTo(24, 11.5);
        house.lineTo(36.5, 23);
        house.lineTo(33, 23);
        house.lineTo(33, 34);
        house.lineTo(27.5, 34);
        house.lineTo(27.5, 27);
        house.lineTo(20.5, 27);
        house.lineTo(20.5, 34);
        house.lineTo(15, 34);
        house.lineTo(15, 23);
        house.lineTo(11.5, 23);
        house.closeSubpath();
        p.drawPath(house);
    });
}

// The issue tracker: a speech bubble with an exclamation mark.
QImage issuesGlyph() {
    return badge(QColor(0xff, 0xb7, 0x3b), QColor(0xd9, 0x6a, 0x0b), [](QPainter& p) {
        QPainterPath bubble;
        bubble.addRoundedRect(QRectF(12, 12.5, 24, 17.5), 5, 5);
        QPainterPath tail;
        tail.moveTo(17, 28);
        tail.lineTo(15.5, 35.5);
        tail.lineTo(24, 29);
        tail.closeSubpath();
        p.drawPath(bubble.united(tail));
        p.setBrush(QColor(0xd9, 0x6a, 0x0b));
        p.drawRoundedRect(QRectF(22.6, 15.5, 2.8, 8.5), 1.4, 1.4);
        p.drawEllipse(QPointF(24, 26.6), 1.6, 1.6);
    });
}

// The pointer over the links: an arrow with a small link badge, its hot
// spot at the arrow's tip (1, 1).
QImage linkPointer() {
    QImage image = canvas(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath arrow;
    arrow.moveTo(1.5, 1.5);
    arrow.lineTo(1.5, 19);
    arrow.lineTo(5.8, 15);
    arrow.lineTo(9, 22);
    arrow.lineTo(12, 20.6);
    arrow.lineTo(8.8, 13.8);
    arrow.lineTo(14.5, 13.8);
    arrow.closeSubpath();
    p.setPen(QPen(Qt::black, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPath(arrow);
    p.setPen(QPen(QColor(0x0b, 0x3c, 0x6e), 1.0));
    p.setBrush(QColor(0x14, 0x8f, 0xa8));
    p.drawEllipse(QPointF(22.5, 22.5), 7.5, 7.5);
    p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(17.8, 20.6, 6, 3.8), 1.9, 1.9);
    p.drawRoundedRect(QRectF(21.2, 20.6, 6, 3.8), 1.9, 1.9);
    return image;
}

void put16(QByteArray& out, unsigned v) {
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>((v >> 8) & 0xFF));
}
void put32(QByteArray& out, unsigned v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// A cursor file of one 32-bit entry with its AND mask, rows bottom-up.
QByteArray cursorFile(const QImage& premultiplied, int hotX, int hotY) {
    const QImage image = premultiplied.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width(), h = image.height();
    const int maskStride = ((w + 31) / 32) * 4;
    QByteArray body;
    put32(body, 40);
    put32(body, static_cast<unsigned>(w));
    put32(body, static_cast<unsigned>(h * 2));
    put16(body, 1);
    put16(body, 32);
    put32(body, 0);
    put32(body, static_cast<unsigned>(w * h * 4 + maskStride * h));
    put32(body, 0);
    put32(body, 0);
    put32(body, 0);
    put32(body, 0);
    for (int y = h - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            put32(body, row[x]); // B, G, R, A in memory
    }
    for (int y = h - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        QByteArray bits(maskStride, '\0');
        for (int x = 0; x < w; ++x)
            if (qAlpha(row[x]) == 0)
                bits[x / 8] = static_cast<char>(bits[x / 8] | (0x80 >> (x % 8)));
        body.append(bits);
    }
    QByteArray file;
    put16(file, 0);
    put16(file, 2); // cursor
    put16(file, 1);
    file.append(static_cast<char>(w));
    file.append(static_cast<char>(h));
    file.append('\0');
    file.append('\0');
    put16(file, static_cast<unsigned>(hotX));
    put16(file, static_cast<unsigned>(hotY));
    put32(file, static_cast<unsigned>(body.size()));
    put32(file, 6 + 16);
    file.append(body);
    return file;
}

bool save(const QImage& image, const QString& path) {
    if (image.save(path, "PNG")) return true;
    std::fprintf(stderr, "make_artwork: cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_artwork OUTPUT_FOLDER\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[1]) + '/';
    bool ok = save(velmoraLogo(48), out + "velmora-logo.png") &&
              save(makerLogo(), out + "maker-logo.png") &&
              save(homeGlyph(), out + "link-home.png") &&
              save(issuesGlyph(), out + "link-issues.png");
    for (int size : {16, 32, 48, 256})
        ok = ok && save(velmoraLogo(size), out + QStringLiteral("velmora-%1.png").arg(size));
    QFile cursor(out + "link-pointer.cur");
    ok = ok && cursor.open(QIODevice::WriteOnly) &&
         cursor.write(cursorFile(linkPointer(), 1, 1)) > 0;
    if (!ok) return 1;
    return 0;
}

// Draws the picture of the About window: a drive seen from above, its
// platter with a scanned track, the map of a surface scan and a speed graph.
// Writes it as a JPEG (libjpeg): MakeAboutPicture OUTPUT.jpg
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>

#include "app/JpegImage.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 200;

// A small fixed pseudo-random sequence, so that every run draws the same.
struct Lcg {
    uint32_t s = 20060117u;
    uint32_t Next()
    {
        s = s * 1664525u + 1013904223u;
        return s >> 8;
    }
};

void DrawBackground(QPainter& p)
{
    QLinearGradient g(0, 0, 0, kHeight);
    g.setColorAt(0, QColor(14, 30, 58));
    g.setColorAt(1, QColor(34, 66, 112));
    p.fillRect(0, 0, kWidth, kHeight, g);
}

void DrawDrive(QPainter& p)
{
    // Case.
    const QRectF body(14, 10, 172, 180);
    QLinearGradient metal(body.topLeft(), body.bottomRight());
    metal.setColorAt(0, QColor(196, 200, 206));
    metal.setColorAt(0.5, QColor(150, 156, 164));
    metal.setColorAt(1, QColor(112, 118, 128));
    p.setPen(QPen(QColor(60, 64, 72), 1.5));
    p.setBrush(metal);
    p.drawRoundedRect(body, 10, 10);
    for (QPointF c : {QPointF(24, 20), QPointF(176, 20), QPointF(24, 180), QPointF(176, 180)}) {
        p.setBrush(QColor(90, 94, 100));
        p.drawEllipse(c, 4, 4);
        p.drawLine(c + QPointF(-2.5, 0), c + QPointF(2.5, 0));
    }

    // Platter with its tracks.
    const QPointF centre(96, 92);
    const double r = 70;
    QRadialGradient platter(centre, r, centre + QPointF(-25, -25));
    platter.setColorAt(0, QColor(236, 238, 242));
    platter.setColorAt(0.6, QColor(176, 182, 192));
    platter.setColorAt(1, QColor(120, 128, 140));
    p.setPen(QPen(QColor(70, 74, 84), 1));
    p.setBrush(platter);
    p.drawEllipse(centre, r, r);
    p.setBrush(Qt::NoBrush);
    for (double t = 22; t < r - 2; t += 5) {
        p.setPen(QPen(QColor(255, 255, 255, 46), 0.8));
        p.drawEllipse(centre, t, t);
    }

    // The outer band coloured block by block as a scan sorts them.
    const QColor classes[] = {QColor(96, 200, 96), QColor(96, 200, 96), QColor(96, 200, 96), QColor(96, 200, 96),
                              QColor(150, 220, 110), QColor(240, 210, 70), QColor(245, 150, 50), QColor(220, 40, 40)};
    Lcg rnd;
    const QRectF band(centre.x() - (r - 6), centre.y() - (r - 6), 2 * (r - 6), 2 * (r - 6));
    for (int i = 0; i < 48; ++i) {
        const QColor c = classes[rnd.Next() % 8];
        p.setPen(QPen(c, 7, Qt::SolidLine, Qt::FlatCap));
        p.drawArc(band, i * 120, 100);
    }

    // Spindle.
    QRadialGradient hub(centre, 14, centre + QPointF(-4, -4));
    hub.setColorAt(0, QColor(230, 232, 236));
    hub.setColorAt(1, QColor(110, 116, 126));
    p.setPen(QPen(QColor(60, 64, 72), 1));
    p.setBrush(hub);
    p.drawEllipse(centre, 14, 14);
    p.setBrush(QColor(80, 84, 92));
    for (int i = 0; i < 6; ++i) {
        const double a = i * M_PI / 3;
        p.drawEllipse(centre + QPointF(8 * std::cos(a), 8 * std::sin(a)), 1.6, 1.6);
    }

    // Actuator: pivot, arm and head over the outer tracks.
    const QPointF pivot(160, 160);
    const QPointF head(122, 36);
    QPainterPath arm;
    const QPointF dir = (head - pivot) / std::hypot(head.x() - pivot.x(), head.y() - pivot.y());
    const QPointF side(-dir.y(), dir.x());
    arm.moveTo(pivot + side * 9);
    arm.lineTo(head + side * 2.5);
    arm.lineTo(head - side * 2.5);
    arm.lineTo(pivot - side * 9);
    arm.closeSubpath();
    QLinearGradient armMetal(pivot + side * 9, pivot - side * 9);
    armMetal.setColorAt(0, QColor(210, 214, 220));
    armMetal.setColorAt(1, QColor(120, 126, 136));
    p.setPen(QPen(QColor(50, 54, 62), 1));
    p.setBrush(armMetal);
    p.drawPath(arm);
    p.setBrush(QColor(40, 44, 52));
    p.drawRect(QRectF(head.x() - 3, head.y() - 4, 6, 8));
    QRadialGradient pivotMetal(pivot, 13, pivot + QPointF(-3, -3));
    pivotMetal.setColorAt(0, QColor(220, 224, 230));
    pivotMetal.setColorAt(1, QColor(90, 96, 106));
    p.setBrush(pivotMetal);
    p.drawEllipse(pivot, 13, 13);
    p.setBrush(QColor(70, 74, 82));
    p.drawEllipse(pivot, 4, 4);
}

void DrawScanMap(QPainter& p)
{
    // Cells of a surface map: mostly fast blocks, a few slow ones, one bad.
    Lcg rnd;
    rnd.s = 7331u;
    const int cols = 12, rows = 8, cell = 9, x0 = 198, y0 = 14;
    p.setPen(QPen(QColor(20, 30, 50), 1));
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            const uint32_t v = rnd.Next() % 100;
            QColor c = QColor(170, 176, 186);
            if (v > 70)
                c = QColor(140, 146, 158);
            if (v > 88)
                c = QColor(96, 200, 96);
            if (v > 94)
                c = QColor(240, 210, 70);
            if (v > 97)
                c = QColor(245, 150, 50);
            if (x == 9 && y == 5)
                c = QColor(220, 40, 40);
            p.setBrush(c);
            p.drawRect(x0 + x * cell, y0 + y * cell, cell - 2, cell - 2);
        }
    }
}

void DrawSpeedGraph(QPainter& p)
{
    const QRectF area(198, 100, 106, 86);
    p.setPen(QPen(QColor(120, 150, 190), 1));
    p.setBrush(QColor(10, 22, 44));
    p.drawRect(area);
    p.setPen(QPen(QColor(50, 80, 120), 1, Qt::DotLine));
    for (int i = 1; i < 4; ++i)
        p.drawLine(QPointF(area.left(), area.top() + i * area.height() / 4),
                   QPointF(area.right(), area.top() + i * area.height() / 4));
    // Read speed falls from the outer to the inner zones, with two dips.
    QPainterPath line;
    Lcg rnd;
    rnd.s = 4242u;
    const int n = 60;
    for (int i = 0; i <= n; ++i) {
        const double f = double(i) / n;
        double speed = 0.85 - 0.45 * f + (int(rnd.Next() % 100) - 50) / 2500.0;
        if (i == 21)
            speed -= 0.30;
        if (i == 44)
            speed -= 0.18;
        const QPointF pt(area.left() + 3 + f * (area.width() - 6), area.bottom() - 4 - speed * (area.height() - 8));
        if (i == 0)
            line.moveTo(pt);
        else
            line.lineTo(pt);
    }
    p.setPen(QPen(QColor(90, 230, 120), 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(line);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: MakeAboutPicture OUTPUT.jpg\n", stderr);
        return 2;
    }
    QImage img(kWidth, kHeight, QImage::Format_RGB32);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        DrawBackground(p);
        DrawDrive(p);
        DrawScanMap(p);
        DrawSpeedGraph(p);
    }
    QString why;
    const QByteArray jpeg = EncodeJpeg(img, 90, &why);
    if (jpeg.isEmpty()) {
        std::fprintf(stderr, "MakeAboutPicture: %s\n", why.toLocal8Bit().constData());
        return 1;
    }
    FILE* f = std::fopen(argv[1], "wb");
    if (!f || std::fwrite(jpeg.constData(), 1, size_t(jpeg.size()), f) != size_t(jpeg.size()) || std::fclose(f) != 0) {
        std::fprintf(stderr, "MakeAboutPicture: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

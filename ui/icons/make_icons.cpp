// Draws the toolbar images (32 x 32) and the program icon into PNG files in this folder.
// Not part of the build; rebuild the images with:
//   g++ -std=c++20 -fPIC make_icons.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/make_icons
//   QT_QPA_PLATFORM=offscreen /tmp/make_icons .

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <cmath>
#include <functional>

namespace {

const QColor kInk(40, 48, 64);
const QColor kBlue(44, 110, 200);
const QColor kGreen(46, 150, 70);
const QColor kRed(206, 52, 48);
const QColor kOrange(226, 130, 30);
const QColor kPaper(250, 250, 246);
const QColor kSteel(120, 138, 160);

QPen Pen(const QColor& c, double w) { return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

// A filled arrow pointing up (dir = -1) or down (dir = 1), centred on x.
void Arrow(QPainter& p, double x, double top, double bottom, int dir, const QColor& fill) {
    const double head = 9, shaft = 4;
    QPainterPath path;
    if (dir < 0) {
        path.moveTo(x, top);
        path.lineTo(x + head, top + head);
        path.lineTo(x + shaft, top + head);
        path.lineTo(x + shaft, bottom);
        path.lineTo(x - shaft, bottom);
        path.lineTo(x - shaft, top + head);
        path.lineTo(x - head, top + head);
    } else {
        path.moveTo(x, bottom);
        path.lineTo(x + head, bottom - head);
        path.lineTo(x + shaft, bottom - head);
        path.lineTo(x + shaft, top);
        path.lineTo(x - shaft, top);
        path.lineTo(x - shaft, bottom - head);
        path.lineTo(x - head, bottom - head);
    }
    path.closeSubpath();
    p.setPen(Pen(fill.darker(150), 1.2));
    p.setBrush(fill);
    p.drawPath(path);
}

// A tray (the local or remote side an arrow goes to).
void Tray(QPainter& p) {
    p.setPen(Pen(kInk, 2.2));
    p.setBrush(Qt::NoBrush);
    QPainterPath t;
    t.moveTo(4, 21);
    t.lineTo(4, 28);
    t.lineTo(28, 28);
    t.lineTo(28, 21);
    p.drawPath(t);
}

// A sheet with list lines (the queue).
void ListSheet(QPainter& p, double w = 22) {
    p.setPen(Pen(kInk, 1.6));
    p.setBrush(kPaper);
    p.drawRoundedRect(QRectF(3, 3, w, 26), 2.5, 2.5);
    p.setPen(Pen(kSteel, 2.2));
    for (int i = 0; i < 4; ++i) p.drawLine(QPointF(7, 9 + i * 5.5), QPointF(w - 1, 9 + i * 5.5));
}

// A round badge in the lower right corner.
void Badge(QPainter& p, const QColor& c) {
    p.setPen(Pen(c.darker(140), 1.2));
    p.setBrush(c);
    p.drawEllipse(QPointF(23, 23), 8, 8);
    p.setPen(Pen(Qt::white, 2.6));
}

// Half of a plug: body with two pins (pins to the right when right = true).
void PlugHalf(QPainter& p, double x, bool pins, const QColor& c) {
    p.setPen(Pen(c.darker(150), 1.3));
    p.setBrush(c);
    p.drawRoundedRect(QRectF(x, 10, 9, 12), 2, 2);
    if (pins) {
        p.setPen(Pen(kInk, 2.2));
        p.drawLine(QPointF(x + 9, 13), QPointF(x + 13, 13));
        p.drawLine(QPointF(x + 9, 19), QPointF(x + 13, 19));
    }
}

void CurvedArrow(QPainter& p, const QRectF& box, double startDeg, double spanDeg, const QColor& c) {
    p.setPen(Pen(c, 3.2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(box, int(startDeg * 16), int(spanDeg * 16));
    // Head at the end of the arc.
    const double end = (startDeg + spanDeg) * M_PI / 180.0;
    const QPointF centre = box.center();
    const double r = box.width() / 2;
    const QPointF tip(centre.x() + r * std::cos(end), centre.y() - r * std::sin(end));
    const double dir = spanDeg > 0 ? 1 : -1;  // counter-clockwise for positive spans
    const QPointF tangent(-std::sin(end) * dir, -std::cos(end) * dir);
    const QPointF normal(std::cos(end), -std::sin(end));
    QPainterPath head;
    head.moveTo(tip + tangent * 5);
    head.lineTo(tip - tangent * 2 + normal * 5);
    head.lineTo(tip - tangent * 2 - normal * 5);
    head.closeSubpath();
    p.setPen(Pen(c, 1));
    p.setBrush(c);
    p.drawPath(head);
}

void Server(QPainter& p, double y, const QColor& light) {
    p.setPen(Pen(kInk, 1.4));
    p.setBrush(QColor(214, 222, 234));
    p.drawRoundedRect(QRectF(5, y, 22, 7), 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(light);
    p.drawEllipse(QPointF(9, y + 3.5), 1.6, 1.6);
    p.setPen(Pen(kSteel, 1.4));
    p.drawLine(QPointF(14, y + 3.5), QPointF(24, y + 3.5));
}

using Draw = std::function<void(QPainter&)>;

void Save(const QString& dir, const QString& name, int size, const Draw& draw) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    draw(p);
    p.end();
    img.save(dir + "/" + name + ".png");
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");

    Save(dir, "sitelist", 32, [](QPainter& p) {
        Server(p, 3, kGreen);
        Server(p, 12, kGreen);
        Server(p, 21, kOrange);
    });
    Save(dir, "connect", 32, [](QPainter& p) {
        p.setPen(Pen(kInk, 2.4));
        p.drawLine(QPointF(2, 16), QPointF(7, 16));
        p.drawLine(QPointF(25, 16), QPointF(30, 16));
        PlugHalf(p, 6, true, kGreen);
        p.setPen(Pen(kGreen.darker(150), 1.3));
        p.setBrush(kGreen);
        p.drawRoundedRect(QRectF(17, 10, 9, 12), 2, 2);
    });
    Save(dir, "disconnect", 32, [](QPainter& p) {
        p.setPen(Pen(kInk, 2.4));
        p.drawLine(QPointF(1, 16), QPointF(4, 16));
        p.drawLine(QPointF(28, 16), QPointF(31, 16));
        PlugHalf(p, 3, true, kRed);
        p.setPen(Pen(kRed.darker(150), 1.3));
        p.setBrush(kRed);
        p.drawRoundedRect(QRectF(20, 10, 9, 12), 2, 2);
        p.setPen(Pen(kOrange, 1.8));
        p.drawLine(QPointF(17, 6), QPointF(19, 2));
        p.drawLine(QPointF(17, 26), QPointF(19, 30));
    });
    Save(dir, "reconnect", 32, [](QPainter& p) {
        CurvedArrow(p, QRectF(4, 4, 24, 24), 100, 160, kBlue);
        CurvedArrow(p, QRectF(4, 4, 24, 24), 280, 160, kGreen);
        p.setPen(Pen(kGreen.darker(150), 1.1));
        p.setBrush(kGreen);
        p.drawRoundedRect(QRectF(12, 12, 8, 8), 1.5, 1.5);
    });
    Save(dir, "upload", 32, [](QPainter& p) {
        Tray(p);
        Arrow(p, 16, 2, 24, -1, kOrange);
    });
    Save(dir, "download", 32, [](QPainter& p) {
        Tray(p);
        Arrow(p, 16, 2, 24, 1, kBlue);
    });
    Save(dir, "addqueue", 32, [](QPainter& p) {
        ListSheet(p);
        Badge(p, kGreen);
        p.drawLine(QPointF(23, 18.5), QPointF(23, 27.5));
        p.drawLine(QPointF(18.5, 23), QPointF(27.5, 23));
    });
    Save(dir, "removequeue", 32, [](QPainter& p) {
        ListSheet(p);
        Badge(p, kRed);
        p.drawLine(QPointF(18.5, 23), QPointF(27.5, 23));
    });
    Save(dir, "runqueue", 32, [](QPainter& p) {
        ListSheet(p);
        Badge(p, kBlue);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        QPainterPath tri;
        tri.moveTo(20.5, 18.5);
        tri.lineTo(27.5, 23);
        tri.lineTo(20.5, 27.5);
        tri.closeSubpath();
        p.drawPath(tri);
    });
    Save(dir, "stop", 32, [](QPainter& p) {
        QPainterPath oct;
        for (int i = 0; i < 8; ++i) {
            const double a = (22.5 + 45 * i) * M_PI / 180;
            const QPointF pt(16 + 13.5 * std::cos(a), 16 + 13.5 * std::sin(a));
            if (i == 0) oct.moveTo(pt); else oct.lineTo(pt);
        }
        oct.closeSubpath();
        p.setPen(Pen(kRed.darker(150), 1.4));
        p.setBrush(kRed);
        p.drawPath(oct);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(8, 13.5, 16, 5), 1, 1);
    });
    Save(dir, "refresh", 32, [](QPainter& p) {
        CurvedArrow(p, QRectF(5, 5, 22, 22), 30, 150, kGreen);
        CurvedArrow(p, QRectF(5, 5, 22, 22), 210, 150, kGreen);
    });
    Save(dir, "rename", 32, [](QPainter& p) {
        p.setPen(Pen(kInk, 1.5));
        p.setBrush(kPaper);
        p.drawRoundedRect(QRectF(2, 9, 28, 14), 2, 2);
        QFont f(QStringLiteral("Sans"));
        f.setPixelSize(11);
        f.setBold(true);
        p.setFont(f);
        p.setPen(kBlue);
        p.drawText(QRectF(4, 9, 16, 14), Qt::AlignCenter, QStringLiteral("ab"));
        p.setPen(Pen(kInk, 1.6));
        p.drawLine(QPointF(21, 11.5), QPointF(21, 20.5));
        // A pencil across the corner.
        p.save();
        p.translate(24, 20);
        p.rotate(-45);
        p.setPen(Pen(kOrange.darker(150), 1));
        p.setBrush(kOrange);
        p.drawRect(QRectF(-2, -3, 12, 6));
        QPainterPath tip;
        tip.moveTo(-2, -3);
        tip.lineTo(-7, 0);
        tip.lineTo(-2, 3);
        tip.closeSubpath();
        p.setBrush(QColor(240, 210, 160));
        p.drawPath(tip);
        p.restore();
    });
    Save(dir, "delete", 32, [](QPainter& p) {
        p.setPen(Pen(kInk, 1.5));
        p.setBrush(QColor(214, 222, 234));
        QPainterPath can;
        can.moveTo(8, 9);
        can.lineTo(10, 29);
        can.lineTo(22, 29);
        can.lineTo(24, 9);
        can.closeSubpath();
        p.drawPath(can);
        p.drawRoundedRect(QRectF(5, 6, 22, 3.5), 1, 1);
        p.drawLine(QPointF(13, 6), QPointF(14, 3));
        p.drawLine(QPointF(14, 3), QPointF(18, 3));
        p.drawLine(QPointF(18, 3), QPointF(19, 6));
        p.setPen(Pen(kRed, 3));
        p.drawLine(QPointF(12, 14), QPointF(20, 24));
        p.drawLine(QPointF(20, 14), QPointF(12, 24));
    });
    Save(dir, "tray", 32, [](QPainter& p) {
        p.setPen(Pen(kInk, 1.5));
        p.setBrush(kPaper);
        p.drawRect(QRectF(2, 3, 20, 15));
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawRect(QRectF(2.75, 3.75, 18.5, 3.5));
        p.setPen(Pen(kInk, 1.5));
        p.setBrush(QColor(214, 222, 234));
        p.drawRect(QRectF(2, 25, 28, 5));
        p.setBrush(kGreen);
        p.setPen(Qt::NoPen);
        p.drawRect(QRectF(22, 26, 6, 3));
        p.setPen(Pen(kOrange, 2.6));
        p.drawLine(QPointF(17, 12), QPointF(25, 21));
        p.setBrush(kOrange);
        p.setPen(Pen(kOrange, 1));
        QPainterPath head;
        head.moveTo(27, 23.5);
        head.lineTo(20, 22);
        head.lineTo(25.5, 16.5);
        head.closeSubpath();
        p.drawPath(head);
    });
    const Draw appIcon = [](QPainter& p) {
        p.setPen(Pen(kBlue.darker(140), 1.2));
        QRadialGradient g(QPointF(12, 10), 20);
        g.setColorAt(0, QColor(120, 180, 250));
        g.setColorAt(1, kBlue);
        p.setBrush(g);
        p.drawEllipse(QPointF(16, 16), 14.5, 14.5);
        p.setPen(Pen(QColor(255, 255, 255, 110), 1.1));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(16, 16), 6, 14);
        p.drawLine(QPointF(2, 16), QPointF(30, 16));
        Arrow(p, 10.5, 6, 25, -1, kOrange);
        Arrow(p, 21.5, 7, 26, 1, kGreen);
    };
    Save(dir, "app", 32, appIcon);
    Save(dir, "app64", 64, appIcon);
    return 0;
}

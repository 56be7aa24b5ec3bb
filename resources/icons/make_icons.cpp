// Draws the program's own small pictures: the three tray frames, the pop-up's two-note picture
// and the command icons that stand in where the desktop theme has none. Run make_icons.sh after
// changing a picture; the PNG files it writes are committed next to this source.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

const QColor Ink(0, 0, 0);
const QColor FolderFill(250, 206, 60);
const QColor FolderEdge(150, 104, 0);
const QColor FolderBack(226, 170, 30);
const QColor Blue(36, 84, 170);
const QColor Green(34, 150, 60);
const QColor Red(196, 40, 40);
const QColor Grey(96, 96, 96);

using TPainter = std::function<void(QPainter&)>;

bool Save(const QString& dir, const QString& name, int w, int h, const TPainter& draw) {
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        draw(p);
    }
    const QString path = QDir(dir).filePath(name);
    if (!img.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QPolygonF Triangle(double x0, double y0, double x1, double y1, double x2, double y2) {
    QPolygonF t;
    t << QPointF(x0, y0) << QPointF(x1, y1) << QPointF(x2, y2);
    return t;
}

void Fill(QPainter& p, const QPolygonF& poly, const QColor& c) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(poly);
}

void Folder(QPainter& p, const QRectF& r) {
    // Tab on the back sheet, then the front sheet.
    p.setPen(QPen(FolderEdge, 1));
    p.setBrush(FolderBack);
    p.drawRect(QRectF(r.left(), r.top(), r.width() * 0.42, 3));
    p.setBrush(FolderFill);
    p.drawRect(QRectF(r.left(), r.top() + 2, r.width(), r.height() - 2));
}

// A note head with its stem to the upper right; returns the top of the stem.
QPointF Note(QPainter& p, double cx, double cy, double stem, const QColor& c) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.save();
    p.translate(cx, cy);
    p.rotate(-20);
    p.drawEllipse(QRectF(-2.2, -1.5, 4.4, 3.0));
    p.restore();
    p.setPen(QPen(c, 1.1));
    p.drawLine(QPointF(cx + 1.9, cy - 0.3), QPointF(cx + 1.9, cy - stem));
    return QPointF(cx + 1.9, cy - stem);
}

void Beam(QPainter& p, QPointF a, QPointF b, const QColor& c) {
    QPolygonF q;
    q << a << b << b + QPointF(0, 2) << a + QPointF(0, 2);
    Fill(p, q, c);
}

void Flag(QPainter& p, QPointF top, const QColor& c) {
    QPainterPath path(top);
    path.cubicTo(top + QPointF(0.5, 2.5), top + QPointF(3.5, 2.5), top + QPointF(2.5, 6));
    p.setPen(QPen(c, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void TrayFrame0(QPainter& p) {
    Folder(p, QRectF(0.5, 2.5, 15, 12));
    Flag(p, Note(p, 7, 11.5, 7, Ink), Ink);
}
void TrayFrame1(QPainter& p) {
    Folder(p, QRectF(0.5, 2.5, 15, 12));
    Flag(p, Note(p, 9, 10, 6.5, Ink), Ink);
}
void TrayFrame2(QPainter& p) {
    Folder(p, QRectF(0.5, 2.5, 15, 12));
    const QPointF a = Note(p, 4.5, 12, 6, Ink);
    const QPointF b = Note(p, 10.5, 11, 6, Ink);
    Beam(p, a, b, Ink);
}

void NotesHalf(QPainter& p, double x, const QColor& staff, const QColor& ink) {
    p.setPen(QPen(staff, 1));
    for (int y = 2; y <= 14; y += 3)
        p.drawLine(QPointF(x + 0.5, y + 0.5), QPointF(x + 15.5, y + 0.5));
    const QPointF a = Note(p, x + 4, 11.5, 8, ink);
    const QPointF b = Note(p, x + 10.5, 8.5, 7, ink);
    Beam(p, a, b, ink);
}

// Left half: the picture shown; right half: its greyed copy.
void Notes(QPainter& p) {
    NotesHalf(p, 0, QColor(128, 128, 128), QColor(0, 0, 128));
    NotesHalf(p, 16, QColor(192, 192, 192), QColor(128, 128, 128));
}

void About(QPainter& p) {
    p.setPen(QPen(Blue.darker(130), 1));
    p.setBrush(Blue);
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(6.8, 2.8, 2.4, 2.4));
    p.drawRect(QRectF(6.9, 6.5, 2.2, 6.5));
}

void PlayShape(QPainter& p, const QColor& c) {
    Fill(p, Triangle(4, 2, 4, 14, 13, 8), c);
}

void Play(QPainter& p) {
    PlayShape(p, Green);
}
void Playing(QPainter& p) {
    Fill(p, Triangle(1.5, 3, 1.5, 13, 9.5, 8), Green);
    p.setPen(QPen(Green.darker(120), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(7, 4.5, 5, 7), -50 * 16, 100 * 16);
    p.drawArc(QRectF(7, 2, 8, 12), -50 * 16, 100 * 16);
}
void Pause(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(Blue);
    p.drawRect(QRectF(3, 2, 4, 12));
    p.drawRect(QRectF(9, 2, 4, 12));
}
void Resume(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(Blue);
    p.drawRect(QRectF(2, 2, 3, 12));
    Fill(p, Triangle(6.5, 2.5, 6.5, 13.5, 14, 8), Green);
}
void Stop(QPainter& p) {
    p.setPen(QPen(Blue.darker(130), 1));
    p.setBrush(Blue);
    p.drawRect(QRectF(3.5, 3.5, 9, 9));
}
void Load(QPainter& p) {
    p.setPen(QPen(FolderEdge, 1));
    p.setBrush(FolderBack);
    QPolygonF back;
    back << QPointF(0.5, 3.5) << QPointF(5.5, 3.5) << QPointF(6.5, 4.5) << QPointF(12.5, 4.5)
         << QPointF(12.5, 13.5) << QPointF(0.5, 13.5);
    p.drawPolygon(back);
    p.setBrush(FolderFill);
    QPolygonF front;
    front << QPointF(3.5, 7.5) << QPointF(15.5, 7.5) << QPointF(12.5, 13.5) << QPointF(0.5, 13.5);
    p.drawPolygon(front);
}
void Bar(QPainter& p, double x) {
    p.setPen(Qt::NoPen);
    p.setBrush(Blue);
    p.drawRect(QRectF(x, 3, 2, 10));
}
void PriorFolder(QPainter& p) {
    Bar(p, 1);
    Fill(p, Triangle(9, 3, 9, 13, 3.5, 8), Blue);
    Fill(p, Triangle(15, 3, 15, 13, 9.5, 8), Blue);
}
void PriorFile(QPainter& p) {
    Fill(p, Triangle(8, 3, 8, 13, 1.5, 8), Blue);
    Fill(p, Triangle(14.5, 3, 14.5, 13, 8, 8), Blue);
}
void NextFile(QPainter& p) {
    Fill(p, Triangle(1.5, 3, 1.5, 13, 8, 8), Blue);
    Fill(p, Triangle(8, 3, 8, 13, 14.5, 8), Blue);
}
void NextFolder(QPainter& p) {
    Fill(p, Triangle(1, 3, 1, 13, 6.5, 8), Blue);
    Fill(p, Triangle(7, 3, 7, 13, 12.5, 8), Blue);
    Bar(p, 13);
}
void Options(QPainter& p) {
    // A cog: eight teeth round a ring.
    p.setPen(Qt::NoPen);
    p.setBrush(Grey);
    for (int i = 0; i < 8; ++i) {
        p.save();
        p.translate(8, 8);
        p.rotate(i * 45.0);
        p.drawRect(QRectF(-1.3, -7.5, 2.6, 4));
        p.restore();
    }
    p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(5.8, 5.8, 4.4, 4.4));
}
void Window(QPainter& p, const QRectF& r) {
    p.setPen(QPen(Blue.darker(130), 1));
    p.setBrush(Qt::white);
    p.drawRect(r);
    p.setPen(Qt::NoPen);
    p.setBrush(Blue);
    p.drawRect(QRectF(r.left(), r.top(), r.width(), 2.5));
}
void Restore(QPainter& p) {
    Window(p, QRectF(4.5, 1.5, 10, 8));
    Window(p, QRectF(1.5, 6.5, 10, 8));
}
void Exit(QPainter& p) {
    p.setPen(QPen(Red.darker(130), 1));
    p.setBrush(Red);
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 2.5, 2.5);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5, 5), QPointF(11, 11));
    p.drawLine(QPointF(11, 5), QPointF(5, 11));
}
void Mixer(QPainter& p) {
    QPolygonF speaker;
    speaker << QPointF(1, 5.5) << QPointF(4, 5.5) << QPointF(8, 2) << QPointF(8, 14)
            << QPointF(4, 10.5) << QPointF(1, 10.5);
    Fill(p, speaker, Grey);
    p.setPen(QPen(Blue, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(6, 5, 5, 6), -55 * 16, 110 * 16);
    p.drawArc(QRectF(6, 2.5, 8.5, 11), -55 * 16, 110 * 16);
}
void FolderImage(QPainter& p) {
    p.setPen(QPen(Grey, 1));
    p.setBrush(QColor(170, 210, 250));
    p.drawRect(QRectF(0.5, 2.5, 15, 11));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 200, 40));
    p.drawEllipse(QRectF(10, 4, 3.5, 3.5));
    QPolygonF hills;
    hills << QPointF(1, 13) << QPointF(5.5, 6.5) << QPointF(8.5, 10) << QPointF(10.5, 8)
          << QPointF(15, 13);
    Fill(p, hills, Green);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    struct {
        const char* Name;
        int W;
        void (*Draw)(QPainter&);
    } const pictures[] = {
        {"tray0.png", 16, TrayFrame0},  {"tray1.png", 16, TrayFrame1},
        {"tray2.png", 16, TrayFrame2},  {"notes.png", 32, Notes},
        {"menu00.png", 16, About},      {"menu01.png", 16, Play},
        {"menu02.png", 16, Playing},    {"menu03.png", 16, Pause},
        {"menu04.png", 16, Resume},     {"menu05.png", 16, Stop},
        {"menu06.png", 16, Load},       {"menu07.png", 16, PriorFolder},
        {"menu08.png", 16, PriorFile},  {"menu09.png", 16, NextFile},
        {"menu10.png", 16, NextFolder}, {"menu11.png", 16, Options},
        {"menu13.png", 16, Restore},    {"menu14.png", 16, Exit},
        {"menu16.png", 16, Mixer},      {"menu17.png", 16, FolderImage},
    };
    bool ok = true;
    for (const auto& pic : pictures)
        ok = Save(dir, QString::fromUtf8(pic.Name), pic.W, 16, pic.Draw) && ok;
    return ok ? 0 : 1;
}

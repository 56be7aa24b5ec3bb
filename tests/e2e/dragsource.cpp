// A drag source for the end-to-end tests: a small window that starts a real drag of the given
// paths as file URLs when the left button goes down on it, prints the drop action and exits
// once the target has finished with the drop.
//
//   velodra-dragsource X Y PATH [PATH...]   window at (X, Y); the drag carries every PATH
#include <QApplication>
#include <QDrag>
#include <QFile>
#include <QLabel>
#include <QList>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>

#include <cstdio>

namespace {

const char* ActionName(Qt::DropAction a) {
    switch (a) {
    case Qt::CopyAction:
        return "copy";
    case Qt::MoveAction:
        return "move";
    case Qt::LinkAction:
        return "link";
    case Qt::IgnoreAction:
        return "ignore";
    default:
        return "other";
    }
}

class TDragSource : public QLabel {
public:
    explicit TDragSource(QList<QUrl> urls)
        : QLabel(QStringLiteral("drag me")), Urls(std::move(urls)) {
        setWindowTitle(QStringLiteral("velodra-dragsource"));
        setAlignment(Qt::AlignCenter);
        setFixedSize(120, 60);
        setStyleSheet(QStringLiteral("background: #2060c0; color: white;"));
    }

protected:
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton || Started) return QLabel::mousePressEvent(e);
        Started = true;
        auto* drag = new QDrag(this);
        auto* mime = new QMimeData;
        mime->setUrls(Urls);
        drag->setMimeData(mime);
        const Qt::DropAction a =
            drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
        std::printf("drop action: %s\n", ActionName(a));
        std::fflush(stdout);
        if (a == Qt::IgnoreAction) {
            QTimer::singleShot(0, qApp, [] { QApplication::exit(0); });
            return;
        }
        // The drop only announced the data: the target fetches it afterwards, so stay until
        // it says it has finished (the platform drops the drag object then).
        connect(drag, &QObject::destroyed, qApp, [] {
            std::printf("drop finished\n");
            std::fflush(stdout);
            QApplication::exit(0);
        });
        QTimer::singleShot(10000, qApp, [] {
            std::fprintf(stderr, "the target did not finish the drop\n");
            QApplication::exit(3);
        });
    }

private:
    QList<QUrl> Urls;
    bool Started = false;
};

int Usage() {
    std::fprintf(stderr, "usage: velodra-dragsource X Y PATH [PATH...]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 4) return Usage();
    bool okX = false, okY = false;
    const int x = args[1].toInt(&okX);
    const int y = args[2].toInt(&okY);
    if (!okX || !okY) return Usage();
    QList<QUrl> urls;
    // The paths as the shell gave them: keep their bytes, whatever the locale.
    for (int i = 3; i < argc; ++i)
        urls << QUrl::fromLocalFile(QFile::decodeName(argv[i]));

    TDragSource w(urls);
    w.move(x, y);
    w.show();
    return QApplication::exec();
}

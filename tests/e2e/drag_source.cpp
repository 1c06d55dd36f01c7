// Another X client to drag a folder from, for the end-to-end test of the
// window: velmora_e2e_drag_source FOLDER. A mouse press in its window drags
// the folder's file URL offering copy, move and link with move proposed, as
// file managers do; it then prints the action the drop ended with ("copy",
// "move", "link" or "ignore") and exits once the target is done with the drop.

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdio>
#include <utility>

namespace {

const char* ActionName(Qt::DropAction action) {
    return action == Qt::CopyAction   ? "copy"
           : action == Qt::MoveAction ? "move"
           : action == Qt::LinkAction ? "link"
                                      : "ignore";
}

class CDragSource : public QWidget {
public:
    explicit CDragSource(QString folder) : m_folder(std::move(folder)) {
        setWindowTitle(QStringLiteral("Velmora drag source"));
        // The bottom right corner of the screen, clear of the window under test.
        const QRect screen = QApplication::primaryScreen()->geometry();
        setGeometry(screen.right() - 200, screen.bottom() - 150, 160, 100);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton)
            return;
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(m_folder)});
        const QPointer<QDrag> drag = new QDrag(this);
        drag->setMimeData(data);
        const Qt::DropAction action =
            drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::MoveAction);
        std::printf("%s\n", ActionName(action));
        std::fflush(stdout);
        // The target asks this program for the URL after the drop: stay until
        // it reports the drop finished, which ends the drag, or a while at most.
        if (action == Qt::IgnoreAction || !drag) {
            QApplication::quit();
            return;
        }
        connect(drag, &QObject::destroyed, qApp, &QApplication::quit);
        QTimer::singleShot(5000, qApp, &QApplication::quit);
    }

private:
    QString m_folder;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora_e2e_drag_source FOLDER\n");
        return 2;
    }
    CDragSource source(QString::fromLocal8Bit(argv[1]));
    source.show();
    return QApplication::exec();
}

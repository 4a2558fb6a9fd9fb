// A drag source in a process of its own, for scripts/drop-check: a press in its window starts
// a real drag of the files named on the command line, so the launcher receives the drop from
// the window system as it would from a file manager.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <cstdio>

namespace {

class Source : public QWidget
{
public:
    QStringList files;

protected:
    void mousePressEvent(QMouseEvent *) override
    {
        auto *mime = new QMimeData;
        QList<QUrl> urls;
        for (const QString &file : std::as_const(files))
            urls.append(QUrl::fromLocalFile(file));
        mime->setUrls(urls);
        auto *drag = new QDrag(this);
        drag->setMimeData(mime);
        // The source stays up afterwards: the target reads the data after the drop.
        const Qt::DropAction action = drag->exec(Qt::CopyAction);
        std::printf("dropped: %s\n", action == Qt::CopyAction ? "yes" : "no");
        std::fflush(stdout);
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Source source;
    source.files = QApplication::arguments().mid(1);
    source.setWindowTitle(QStringLiteral("vxdragsource"));
    source.setGeometry(1000, 100, 120, 120);
    source.show();
    return QApplication::exec();
}

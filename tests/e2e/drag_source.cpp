// A window that starts a drag of one file (text/uri-list) when the mouse is pressed on it, so
// the journeys can drop a file on Dirka through the real X drag-and-drop protocol.
//   e2e_drag_source FILE    (the window is titled "e2e drag source")
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWidget>

namespace {

class TDragSource : public QWidget {
public:
    explicit TDragSource(const QString& path) : m_path(path) {}

protected:
    void mousePressEvent(QMouseEvent*) override
    {
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(m_path)});
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction | Qt::LinkAction, Qt::CopyAction);
    }

private:
    QString m_path;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2)
        return 2;
    TDragSource window(QString::fromLocal8Bit(argv[1]));
    window.setWindowTitle(QStringLiteral("e2e drag source"));
    window.resize(120, 120);
    window.move(0, 0);
    window.show();
    return app.exec();
}

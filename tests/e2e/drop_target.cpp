// A window that takes drops and writes what they carry, so the journeys can check what a drag
// out of Dirka delivers to another program through the real X drag-and-drop protocol.
//   e2e_drop_target FILE    (the window is titled "e2e drop target")
// A drop writes its text/plain to FILE.txt, then its text/uri-list bytes to FILE (complete when
// it appears).
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QWidget>

namespace {

bool writeFile(const QString& name, const QByteArray& bytes)
{
    QFile file(name + QStringLiteral(".part"));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    QFile::remove(name);
    return QFile::rename(name + QStringLiteral(".part"), name);
}

class TDropTarget : public QWidget {
public:
    explicit TDropTarget(const QString& out) : m_out(out) { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override { event->acceptProposedAction(); }
    void dragMoveEvent(QDragMoveEvent* event) override { event->acceptProposedAction(); }
    void dropEvent(QDropEvent* event) override
    {
        const QMimeData* data = event->mimeData();
        writeFile(m_out + QStringLiteral(".txt"), data->text().toUtf8());
        writeFile(m_out, data->data(QStringLiteral("text/uri-list")));
        event->acceptProposedAction();
    }

private:
    QString m_out;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2)
        return 2;
    TDropTarget window(QString::fromLocal8Bit(argv[1]));
    window.setWindowTitle(QStringLiteral("e2e drop target"));
    window.resize(120, 120);
    window.move(0, 0);
    window.show();
    return app.exec();
}

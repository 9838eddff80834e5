#include "core/listing/file_system.h"

#include <QTest>

using namespace dirka;

class TestFileSystem : public QObject {
    Q_OBJECT

private Q_SLOTS:
};

QTEST_GUILESS_MAIN(TestFileSystem)
#include "tst_file_system.moc"

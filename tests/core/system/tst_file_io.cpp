#include "core/system/file_io.h"
#include "core/text/file_names.h"

#include "test_support.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace dirka;
using namespace testsupport;

class TestFileIo : public QObject {
    Q_OBJECT

private Q_SLOTS:
};

QTEST_GUILESS_MAIN(TestFileIo)
#include "tst_file_io.moc"

#include "gui/main_window/location_row.h"

#include "gui/widgets/flat_button.h"

#include "core/listing/catalog.h"
#include "core/settings/settings_records.h"
#include "core/system/file_io.h"
#include "core/text/file_names.h"
#include "core/text/text_utils.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QUrl>

#include <algorithm>

namespace dirka {

namespace {

constexpr int MaxVisibleRows = 32;
constexpr int GapBeforeSearchFor = 6;

// A drop-down whose list is as wide as its longest entry (up to the screen), so a long mount
// point with its kind is read whole even when the box is narrow.
class TWideComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;

    void showPopup() override
    {
        QAbstractItemView* list = view();
        int widest = 0;
        for (int i = 0; i < count(); ++i)
            widest = std::max(widest, list->fontMetrics().horizontalAdvance(itemText(i)));
        const int extra = list->style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                          4 * list->frameWidth() + 2 * fontMetrics().averageCharWidth();
        int width = std::max(this->width(), widest + extra);
        if (const QScreen* screen = this->screen())
            width = std::min(width, screen->availableGeometry().width());
        list->setMinimumWidth(width);
        QComboBox::showPopup();
    }
};

// A dropped URL's path as the file system knows it: percent-decoded bytes, so a name that is
// not UTF-8 keeps its bytes.
QString localPathOf(const QUrl& url)
{
    return DecodeFileName(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

// Some sources offer their items as text/x-moz-url, address and title lines by turns (UTF-16
// or UTF-8); Qt's X11 drop gives only the first address of it.
qsizetype mozillaUrlCount(const QMimeData& data)
{
    const QByteArray raw = data.data(QStringLiteral("text/x-moz-url"));
    const bool utf16 = raw.size() > 1 && raw.at(1) == 0;
    QStringList lines =
        (utf16 ? QString::fromUtf16(reinterpret_cast<const char16_t*>(raw.data()), raw.size() / 2)
               : QString::fromUtf8(raw))
            .split(u'\n');
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    return (lines.size() + 1) / 2;
}

} // namespace

TLocationRow::TLocationRow(QWidget* parent)
    : QWidget(parent),
      m_sbtnLocation(FlatButton(this, "sbtnLocation", QStringLiteral("Location:"), true)),
      m_comboPath(new TWideComboBox(this)),
      m_sbtnFilter(FlatButton(this, "sbtnFilter", QStringLiteral("Search for:"), true)),
      m_comboFilter(new QComboBox(this))
{
    setObjectName(QStringLiteral("panelPath"));
    m_comboPath->setObjectName(QStringLiteral("comboPath"));
    m_comboPath->setEditable(true);
    m_comboPath->setInsertPolicy(QComboBox::NoInsert);
    m_comboPath->setMaxVisibleItems(MaxVisibleRows);
    m_comboPath->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_comboPath->setMinimumContentsLength(8);
    // The box hands its keys to its line edit by a direct call that no filter on the line edit
    // sees: Enter is caught on the box itself.
    m_comboPath->installEventFilter(this);
    // A drop on the box belongs to the window (it lists the dropped item's folder); the line
    // edit would paste the item's address into the location.
    m_comboPath->lineEdit()->setAcceptDrops(false);
    m_comboPath->setAcceptDrops(false);

    m_comboFilter->setObjectName(QStringLiteral("comboFilter"));
    m_comboFilter->setMaxVisibleItems(MaxVisibleRows);
    for (const QString& entry : FilterEntryTexts())
        m_comboFilter->addItem(entry);
    m_comboFilter->installEventFilter(this);

    // The picture stands at the button's right: the menu-like arrow of a drop-down.
    m_sbtnFilter->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    m_sbtnFilter->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_sbtnFilter->setLayoutDirection(Qt::RightToLeft);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 3, 4, 3);
    layout->setSpacing(2);
    layout->addWidget(m_sbtnLocation);
    layout->addWidget(m_comboPath, 1);
    layout->addSpacing(GapBeforeSearchFor);
    layout->addWidget(m_sbtnFilter);
    layout->addWidget(m_comboFilter);
}

void TLocationRow::SetCommands(QAction* selectLocation, QAction* options, QAction* list)
{
    m_list = list;
    connect(m_sbtnLocation, &QToolButton::clicked, selectLocation, &QAction::trigger);
    connect(m_sbtnFilter, &QToolButton::clicked, options, &QAction::trigger);
    m_sbtnLocation->setToolTip(selectLocation->toolTip());
    m_sbtnFilter->setToolTip(options->toolTip());
    const auto sync = [this, options] { m_sbtnFilter->setEnabled(options->isEnabled()); };
    connect(options, &QAction::changed, this, sync);
    sync();
}

void TLocationRow::RememberLocation(const QString& text)
{
    if (m_comboPath->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        m_comboPath->addItem(text);
}

bool TLocationRow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && m_list) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const auto* box = qobject_cast<QComboBox*>(watched);
        const bool popupOpen = box && box->view()->isVisible();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !popupOpen) {
            m_list->trigger();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QString LocationFromPath(const QString& path)
{
    if (!IsExistingItem(path))
        return {};
    const qsizetype delimiter = path.lastIndexOf(PathDelimiter);
    QString location = IsExistingFolder(path) || IsSavedListingFile(path) ? path
                       : delimiter < 0 ? QStringLiteral(".") // a file in the working folder
                                       : path.left(delimiter + 1);
    location = TrimText(location);
    if (location.size() > 1 && location.endsWith(PathDelimiter))
        location.chop(1);
    return location;
}

QString DroppedLocation(const QMimeData& data)
{
    const QList<QUrl> urls = data.urls();
    if (urls.size() != 1 || !urls.first().isLocalFile() ||
        (data.hasFormat(QStringLiteral("text/x-moz-url")) && mozillaUrlCount(data) > 1))
        return {};
    return LocationFromPath(localPathOf(urls.first()));
}

} // namespace dirka

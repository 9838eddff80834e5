#pragma once

#include <QWidget>

class QAction;
class QComboBox;
class QMimeData;
class QToolButton;

// The row that says what to list: the location box with its "Location:" button on the left,
// the "Search for" box with its button on the right.
namespace dirka {

class TLocationRow : public QWidget {
    Q_OBJECT
public:
    explicit TLocationRow(QWidget* parent = nullptr);

    /// The buttons run these commands; Enter in either box runs list.
    void SetCommands(QAction* selectLocation, QAction* options, QAction* list);

    QComboBox* comboPath() const { return m_comboPath; }
    QComboBox* comboFilter() const { return m_comboFilter; }
    QToolButton* sbtnFilter() const { return m_sbtnFilter; }

    /// Adds text at the end of the location list unless an entry already reads so.
    void RememberLocation(const QString& text);

private:
    bool eventFilter(QObject* watched, QEvent* event) override;

    QToolButton* m_sbtnLocation;
    QComboBox* m_comboPath;
    QToolButton* m_sbtnFilter;
    QComboBox* m_comboFilter;
    QAction* m_list = nullptr;
};

/// The second line of the location box's hint: the forms a location takes.
inline constexpr char16_t LocationFormsHint[] =
    u"A folder, a saved listing, or several joined by \"|\": \"/media/usb | disk1.jsonl\"";
/// What the file dialogs that pick a saved listing offer.
inline constexpr char16_t CatalogFileFilters[] =
    u"Saved listings (*.jsonl *.json *.csv);;All files (*)";

/// The location to take from a dropped or given path: its folder for an existing file, the
/// file itself for a saved listing, the path for an existing folder, trimmed, without a final
/// delimiter unless it is the root; empty when the path names nothing. "/music/a.mp3" gives
/// "/music", "/c/disk1.jsonl" gives "/c/disk1.jsonl", "/" gives "/".
QString LocationFromPath(const QString& path);

/// The location a drop gives: LocationFromPath of its one local item; empty when it brings
/// several items (counted in the raw data too, where the platform hands over only the first),
/// a web address, or a path that names nothing.
QString DroppedLocation(const QMimeData& data);

} // namespace dirka

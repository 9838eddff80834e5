#include "gui/main_window/catalog_items.h"

#include "core/listing/line_composition.h"

#include <algorithm>

namespace dirka {

void TCatalogItems::Add(const QString& fileName, const QStringList& locations)
{
    for (const QString& location : locations)
        m_locations.push_back({location, fileName});
}

QString TCatalogItems::CatalogOf(QStringView path) const
{
    const auto found =
        std::find_if(m_locations.rbegin(), m_locations.rend(),
                     [path](const TLocation& l) { return path.startsWith(l.Location); });
    return found == m_locations.rend() ? QString() : found->FileName;
}

QString ItemInCatalogText(const QString& path, const QString& catalogFile)
{
    return u"The item is in a catalog and does not exist now.\n\nItem: " + ShownText(path) +
           u"\nCatalog: " + ShownText(catalogFile);
}

} // namespace dirka

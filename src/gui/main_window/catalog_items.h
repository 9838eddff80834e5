#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

// The saved listings whose items the result shows. Such an item need not exist now: opening
// it says where it was seen instead of failing without a word.
namespace dirka {

class TCatalogItems {
public:
    /// The locations of the saved listing fileName were listed into the result.
    void Add(const QString& fileName, const QStringList& locations);
    void Clear() { m_locations.clear(); }
    /// The saved listing whose location holds path, the latest listed when several do; empty
    /// when none does. With "/m/" from "/c/disk1.jsonl": CatalogOf(u"/m/a.txt") ==
    /// "/c/disk1.jsonl".
    QString CatalogOf(QStringView path) const;

private:
    struct TLocation {
        QString Location; // ending in the delimiter
        QString FileName;
    };
    std::vector<TLocation> m_locations;
};

/// What Open and Explore say of an item of a saved listing that does not exist now.
QString ItemInCatalogText(const QString& path, const QString& catalogFile);

} // namespace dirka

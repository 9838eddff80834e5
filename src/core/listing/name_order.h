#pragma once

#include <QCollator>
#include <QStringView>

#include <vector>

namespace dirka {

/// The user's locale collation of names, with or without regard to letter case.
class TNameOrder {
public:
    explicit TNameOrder(bool caseSensitive);

    /// For each name a rank such that names the collation orders earlier get lower ranks and
    /// names it calls equal share one rank.
    std::vector<int> Ranks(const std::vector<QStringView>& names) const;

private:
    int compare(QStringView a, QStringView b) const;

    QCollator m_collator;
    bool m_caseSensitive;
    bool m_plain; // the C locale: code units, folded when case does not matter
};

/// Orders indexes by rank, then by the names' UTF-16 code units, so the order is the same for
/// every run whatever the collation calls equal.
void SortByRank(std::vector<int>& order, const std::vector<int>& ranks,
                const std::vector<QStringView>& names);

} // namespace dirka

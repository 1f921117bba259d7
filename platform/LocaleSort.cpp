#include "platform/LocaleSort.h"

#include "platform/CodePage.h"

#include <QCollator>

#include <algorithm>
#include <numeric>

namespace {
QCollator &Collator()
{
    thread_local QCollator collator = [] {
        // The C locale has no collation of its own (it would compare code points, and case
        // sensitively in sort keys): use the common root order instead.
        const QLocale system = QLocale::system();
        QCollator c(system.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : system);
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
}
} // namespace

int AnsiCompareText(const std::string &a, const std::string &b)
{
    return Collator().compare(FromAnsi(a), FromAnsi(b));
}

void AnsiSortStrings(std::vector<std::string> &strings) { SortDeckStrings(strings, DeckText(DeckKind::CodePage)); }

void SortDeckStrings(std::vector<std::string> &strings, const DeckText &text)
{
    // One collation key per entry, compared as bytes: far cheaper than collating every pair.
    QCollator &collator = Collator();
    std::vector<QCollatorSortKey> keys;
    keys.reserve(strings.size());
    for (const auto &entry : strings)
        keys.push_back(collator.sortKey(text.ToText(entry)));
    std::vector<size_t> order(strings.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t x, size_t y) { return keys[x].compare(keys[y]) < 0; });
    std::vector<std::string> sorted;
    sorted.reserve(strings.size());
    for (size_t index : order)
        sorted.push_back(std::move(strings[index]));
    strings = std::move(sorted);
}

#include "exchange/ExchangeDeck.h"

namespace {
const QString Prefix = QStringLiteral("Frequency::");
}

std::optional<int> FrequencyOfTag(const QString &tag)
{
    if (!tag.startsWith(Prefix, Qt::CaseInsensitive) || tag.size() != Prefix.size() + 1)
        return std::nullopt;
    const int digit = tag.back().digitValue();
    if (digit < 0 || digit > 5)
        return std::nullopt;
    return digit;
}

QString FrequencyTag(int frequency) { return Prefix + QString::number(frequency); }

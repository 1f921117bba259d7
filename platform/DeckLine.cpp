#include "platform/DeckLine.h"

std::string MakeDeckLine(const DeckItem &item)
{
    const std::string_view separator = DeckText(item.kind).Separator();
    std::string line;
    for (const std::string *field : {&item.word, &item.frequency, &item.definition, &item.visual, &item.audio}) {
        line += *field;
        line += separator;
    }
    return line;
}

void SplitDeckLine(std::string_view line, std::vector<std::string> &target, std::string_view separator)
{
    target.clear();
    size_t start = 0;
    for (size_t p; (p = line.find(separator, start)) != std::string::npos; start = p + separator.size())
        target.emplace_back(line.substr(start, p - start));
    if (start < line.size())
        target.emplace_back(line.substr(start));
}

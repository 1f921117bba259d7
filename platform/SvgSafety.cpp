#include "platform/SvgSafety.h"

#include "platform/Graphic.h"

#include <QHash>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <vector>

namespace {
const char *const InvalidSvg = "SVG drawing is not valid";
// Deeper nesting, counted through <use> references, is refused: drawing recurses that deep.
constexpr int MaxDepth = 256;

// An element of the document, as drawing visits it: its children and the element it uses.
struct Element {
    std::vector<int> children;
    QString uses;                // the id a <use> refers to
    long long visits = -1;       // worked out: the elements one drawing of it visits,
    int height = 0;              // and how deep it nests
    bool counting = false;
};

// A link that loads something of another file (a link of <a> loads nothing while drawing).
bool ReachesOutside(const QXmlStreamReader &reader)
{
    if (reader.name() == u"a")
        return false;
    for (const QXmlStreamAttribute &attribute : reader.attributes()) {
        if (attribute.name() != u"href")
            continue;
        const QStringView value = attribute.value().trimmed();
        if (!value.startsWith(u'#') && !value.startsWith(u"data:", Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QString UsedId(const QXmlStreamReader &reader)
{
    if (reader.name() != u"use")
        return {};
    for (const QXmlStreamAttribute &attribute : reader.attributes())
        if (attribute.name() == u"href" && attribute.value().trimmed().startsWith(u'#'))
            return attribute.value().trimmed().mid(1).toString();
    return {};
}

class VisitCounter {
public:
    VisitCounter(std::vector<Element> &elements, const QHash<QString, int> &ids) : elements(elements), ids(ids) {}

    // Throws for a circle of references or nesting deeper than MaxDepth.
    long long Visits(int index, int depth)
    {
        Element &element = elements[size_t(index)];
        if (element.counting || depth + element.height > MaxDepth)
            throw EInvalidGraphic(InvalidSvg);
        if (element.visits >= 0)
            return element.visits;
        element.counting = true;
        long long total = 1;
        int height = 0;
        auto add = [&](int inner) {
            total = std::min(total + Visits(inner, depth + 1), MaxSvgElementVisits + 1);
            height = std::max(height, elements[size_t(inner)].height);
        };
        for (int child : element.children)
            add(child);
        if (const auto used = ids.constFind(element.uses); !element.uses.isEmpty() && used != ids.constEnd())
            add(*used);
        element.counting = false;
        element.visits = total;
        element.height = height + 1;
        return total;
    }

private:
    std::vector<Element> &elements;
    const QHash<QString, int> &ids;
};
} // namespace

QByteArray SafeSvg(const QByteArray &file)
{
    QXmlStreamReader reader(file);
    QByteArray safe;
    QXmlStreamWriter writer(&safe);
    std::vector<Element> elements;
    QHash<QString, int> ids;
    std::vector<int> open;   // the elements not yet ended, innermost last
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (ReachesOutside(reader)) {
                reader.skipCurrentElement();
                break;
            }
            if (open.size() >= size_t(MaxDepth))
                throw EInvalidGraphic(InvalidSvg);
            const int index = int(elements.size());
            elements.push_back({{}, UsedId(reader)});
            if (!open.empty())
                elements[size_t(open.back())].children.push_back(index);
            const QString id = reader.attributes().value(QStringLiteral("id")).toString();
            if (!id.isEmpty() && !ids.contains(id))
                ids.insert(id, index);
            open.push_back(index);
            writer.writeCurrentToken(reader);
            break;
        }
        case QXmlStreamReader::EndElement:
            open.pop_back();
            writer.writeCurrentToken(reader);
            break;
        case QXmlStreamReader::StartDocument:
        case QXmlStreamReader::EndDocument:
        case QXmlStreamReader::Characters:
            writer.writeCurrentToken(reader);
            break;
        default:   // the DTD, entity references, processing instructions, comments
            break;
        }
    }
    if (reader.hasError() || elements.empty())
        throw EInvalidGraphic(InvalidSvg);
    if (VisitCounter(elements, ids).Visits(0, 0) > MaxSvgElementVisits)
        throw EInvalidGraphic(InvalidSvg);
    return safe;
}

#pragma once
// A note field of another program, written in HTML, as the plain text of a Deck field: tags
// dropped, entities decoded, line breaks kept as "; ", and the media it names picked out.
#include <QString>

struct HtmlField {
    QString text;
    QString picture;   // the src of its first <img>, "" for none
    QString sound;     // the name in its first [sound:...], "" for none
};

HtmlField TextOfHtml(const QString &html);
// Plain text as HTML that reads back as the same text.
QString HtmlOfText(const QString &text);

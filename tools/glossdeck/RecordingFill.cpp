#include "tools/glossdeck/RecordingFill.h"

#include "app/DeckStore.h"
#include "platform/CodePage.h"
#include "speech/SpeechEngine.h"
#include "speech/SpeechWave.h"
#include "tools/glossdeck/GlossDeck.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <set>

namespace {
// A file name from a word: its letters and digits, runs of anything else as one "-", short
// enough for any file system.
QString NameFromWord(const QString &word)
{
    QString name;
    bool gap = false;
    for (const char32_t c : word.toUcs4()) {
        if (!QChar::isLetterOrNumber(c)) {
            gap = !name.isEmpty();
            continue;
        }
        if (name.size() >= 40)
            break;
        if (gap)
            name += QLatin1Char('-');
        name += QString::fromUcs4(&c, 1);
        gap = false;
    }
    return name;
}

class Filler {
public:
    Filler(const DeckText &text, const QString &deckFolder, const QString &folder, const std::string &language)
        : text(text), deckFolder(deckFolder), folder(folder), language(language)
    {
    }

    // The line with a recording for its Item, or as it was.
    std::string Change(std::string_view line, int number)
    {
        StringList fields;
        const std::string_view separator = text.Separator();
        if (line.find(separator) == std::string_view::npos)
            return std::string(line);   // no word at all
        DeckStore::SplitLine(line, fields, separator);
        if (fields.size() >= 5 && !fields[4].empty())
            return std::string(line);   // has a recording
        const QString word = text.ToText(fields[0]);
        const std::vector<int16_t> samples = IsSpeakable(word) ? Synthesize(word, language) : std::vector<int16_t>{};
        if (samples.empty()) {
            ++result.skipped;
            return std::string(line);
        }
        const bool closed = fields.size() < 5 || line.substr(line.size() - separator.size()) == separator;
        fields.resize(std::max<size_t>(fields.size(), 5));
        fields[4] = FieldFor(word, number);
        ReplaceFileContent(NativePath(written.back()), WaveFileBytes(samples, SpeechSampleRate()));
        ++result.written;
        std::string changed;
        for (size_t i = 0; i < fields.size(); ++i) {
            changed += fields[i];
            if (i + 1 < fields.size() || closed)
                changed += separator;
        }
        return changed;
    }
    // Takes the recordings written so far away again.
    void Undo()
    {
        for (const QString &file : written)
            std::remove(NativePath(file).c_str());
    }
    FillResult result;

private:
    // The audio field of a new recording for the word, whose file is then the last written.
    std::string FieldFor(const QString &word, int number)
    {
        // A name the Deck cannot hold (a code page without the word's letters) is replaced.
        for (const QString &base : {NameFromWord(word), QStringLiteral("item-%1").arg(number)}) {
            if (base.isEmpty())
                continue;
            QString file;
            for (int n = 1; file.isEmpty() || used.count(file) || FileExists(NativePath(file)); ++n)
                file = folder + QLatin1Char('/') + base + (n > 1 ? QStringLiteral("-%1").arg(n) : QString()) + ".wav";
            std::string field;
            QString refused;
            if (!text.TryToBytes(QDir(deckFolder).relativeFilePath(file), field, &refused))
                continue;
            CheckDeckField("Audio", field, text.Kind());
            used.insert(file);
            written.push_back(file);
            return field;
        }
        throw ToolError("the path of " + NativePath(folder) +
                        " cannot be stored in this Deck's audio fields: the Deck's code page lacks its letters");
    }

    const DeckText &text;
    QString deckFolder, folder;
    std::string language;
    std::set<QString> used;
    std::vector<QString> written;
};
} // namespace

FillResult FillRecordings(const std::string &deckPath, const std::string &folder, const std::string &language)
{
    const FileChangeLock deck(deckPath);
    std::string content = deck.Content();
    const DeckText text(DeckKindOf(content));
    const QString target = QFileInfo(PathFromNative(folder)).absoluteFilePath();
    const bool made = !QFileInfo::exists(target);
    if (!QDir().mkpath(target))
        throw ToolError("the folder " + folder + " cannot be made");
    Filler filler(text, QFileInfo(PathFromNative(deckPath)).absolutePath(), target, language);
    try {
        int number = 0;
        const DeckRewrite rewrite =
            Rewritten(std::move(content), {}, [&](std::string_view line) { return filler.Change(line, ++number); });
        if (filler.result.written > 0)
            ReplaceFileContent(deckPath, rewrite.bytes);
    } catch (...) {
        filler.Undo();
        if (made)
            QDir().rmdir(target);
        throw;
    }
    if (made && filler.result.written == 0)
        QDir().rmdir(target);
    return filler.result;
}

// The Edit page: the word list and its sort menu, the Item fields and their commands.
#include "app/MainWindow.h"

#include "app/FieldText.h"

#include "dragdrop/DropTarget.h"
#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "platform/ImageControl.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSlider>

#include <algorithm>

const std::string TF_Main::VisualFilter =
    "All (*.jpg;*.gif;*.jpeg;*.bmp;*.emf;*.wmf;*.png;*.webp;*.svg)|*.jpg;*.gif;*.jpeg;*.bmp;*.emf;*.wmf;*.png;*.webp;*.svg|"
    "GIF Images (*.gif)|*.gif|JPEG Images(*.jpg;*.jpeg)|*.jpg;*.jpeg|Bitmaps (*.bmp)|*.bmp|Icons (*.ico)|*.ico|"
    "MetaFiles (*.wmf)|*.wmf|Enhanced MataFiles (*.emf)|*.emf|PNG Images (*.png)|*.png|WebP Images (*.webp)|*.webp|"
    "SVG Drawings (*.svg)|*.svg";
const std::string TF_Main::AudioFilter =
    "Sounds [*.wav;*.mp3;*.ogg;*.oga;*.opus;*.flac]|*.wav;*.mp3;*.ogg;*.oga;*.opus;*.flac|Wave [*.wav]|*.wav|"
    "MP3 [*.mp3]|*.mp3|Ogg [*.ogg;*.oga;*.opus]|*.ogg;*.oga;*.opus|FLAC [*.flac]|*.flac";

void TF_Main::FillWordList()
{
    Store.FillWordList(Ascending1->isChecked(), NoSort1->isChecked(), SortbyWord1->isChecked());
    fillingList = true;
    ListBox1->setUpdatesEnabled(false);
    ListBox1->clearSelection();
    ListBox1->setCurrentItem(nullptr);
    // The entries already in the list take the new words: making and freeing list items is
    // what costs most on a large Deck.
    const int wanted = int(Store.WorkList.size());
    while (ListBox1->count() > wanted)
        delete ListBox1->takeItem(ListBox1->count() - 1);
    const int kept = ListBox1->count();
    for (int i = 0; i < kept; ++i) {
        const QString word = Store.Text.ToText(Store.WorkList[size_t(i)]);
        QListWidgetItem *entry = ListBox1->item(i);
        if (entry->text() != word)
            entry->setText(word);
    }
    QStringList added;
    added.reserve(wanted - kept);
    for (int i = kept; i < wanted; ++i)
        added.append(Store.Text.ToText(Store.WorkList[size_t(i)]));
    ListBox1->addItems(added);
    ListBox1->setUpdatesEnabled(true);
    fillingList = false;
}

void TF_Main::RefreshWhenChangedElsewhere()
{
    if (!Store.ChangedSinceFilled())
        return;
    const QListWidgetItem *current = ListBox1->currentItem();
    const QString selected = current && current->isSelected() ? current->text() : QString();
    FillWordList();
    const QList<QListWidgetItem *> found = ListBox1->findItems(selected, Qt::MatchExactly);
    if (selected.isEmpty() || found.isEmpty())
        return;
    fillingList = true;
    ListBox1->setCurrentItem(found.first());
    fillingList = false;
}

void TF_Main::ListBox1MouseDown(const QPoint &position)
{
    PopupMenu1->popup(ListBox1->viewport()->mapToGlobal(position));
}

void TF_Main::Ascending1Click()
{
    Ascending1->setChecked(true);
    FillWordList();
}

void TF_Main::Decending1Click()
{
    Decending1->setChecked(true);
    FillWordList();
}

void TF_Main::NoSort1Click()
{
    NoSort1->setChecked(true);
    FillWordList();
}

void TF_Main::SortbyWord1Click()
{
    SortbyWord1->setChecked(true);
    NoSort1->setEnabled(true);
    FillWordList();
}

void TF_Main::SortbyFrequency1Click()
{
    SortbyFrequency1->setChecked(true);
    NoSort1->setEnabled(false);
    // Frequency order in file order is never offered.
    if (NoSort1->isChecked()) {
        NoSort1->setChecked(false);
        Ascending1->setChecked(true);
    }
    FillWordList();
}

void TF_Main::TrackBar1Change() { L_Freq2->setText(QString::number(TrackBar1->value())); }

void TF_Main::BitBtn1Click() { FillWordList(); }

void TF_Main::B_ClearClick()
{
    T_word->clear();
    T_Definition->clear();
    T_Visual->clear();
    T_Audio->clear();
    L_UnableV->hide();
    PreviewV->hide();
}

namespace {

EFieldError PathRefused(const std::string &caption, const QString &path)
{
    return EFieldError("The " + caption + " file name " + ToAnsiLossy(path) +
                       " has characters that a Deck file cannot hold. Please rename the file or choose another one.");
}

std::string FieldAt(const StringList &fields, size_t index) { return index < fields.size() ? fields[index] : std::string{}; }

// The bytes of a field as the Deck file will hold them; refuses what the file cannot hold. A
// field that still reads as the selected Item's field keeps that field's bytes, so that bytes
// a UTF-8 Deck shows as U+FFFD are written back as they were.
std::string FieldBytes(const QLineEdit *field, const std::string &caption, const DeckText &text, const std::string &shown)
{
    std::string bytes = shown;
    if (text.ToText(shown) != field->text() && !text.TryToBytes(field->text(), bytes))
        throw EFieldError("The " + caption +
                          " field contains characters that cannot be stored in a Deck file. Please remove them.");
    CheckDeckField(caption, bytes, text.Kind());
    return bytes;
}

// A browsed file goes into a field when its name comes back unchanged from the text the field
// shows; whether the Deck can hold it is asked when the Item is stored.
void PutBrowsedPath(QLineEdit *field, const std::string &caption, const std::string &nativePath)
{
    const QString path = PathFromNative(nativePath);
    if (NativePath(path) != nativePath)
        throw PathRefused(caption, path);
    ShowFromStart(field, path);
}

} // namespace

void TF_Main::ListBox1Click()
{
    // The line is found by its place in the list of words, which must be the file's own.
    RefreshWhenChangedElsewhere();
    QListWidgetItem *selected = ListBox1->currentItem();
    if (!selected)
        return;
    const QString text = selected->text();
    int line = -1;
    for (size_t i = 0; i < Store.FileWords.size(); ++i) {
        if (Store.Text.ToText(Store.FileWords[i]).compare(text, Qt::CaseInsensitive) == 0) {
            line = int(i);
            break;
        }
    }
    if (line < 0)
        return;
    Store.ReadItemAt(line, Store.WorkList);
    const StringList fields = Store.WorkList;
    const DeckText &deck = Store.Text;
    // A damaged frequency is reported and shown as 0; every other field still shows this
    // Item, so that storing it again cannot take another Item's fields.
    int frequency = 0;
    const bool frequencyRead = TryStrToInt(FieldAt(fields, 1), frequency);
    ShowFromStart(T_word, deck.ToText(FieldAt(fields, 0)));
    TrackBar1->setValue(frequencyRead ? frequency : 0);   // the track bar keeps 0 to 5
    L_Freq2->setText(QString::number(TrackBar1->value()));
    ShowFromStart(T_Definition, deck.ToText(FieldAt(fields, 2)));
    ShowFromStart(T_Visual, deck.ToText(FieldAt(fields, 3)));
    ShowFromStart(T_Audio, deck.ToText(FieldAt(fields, 4)));
    shownItem = {FieldAt(fields, 0), FieldAt(fields, 2), FieldAt(fields, 3), FieldAt(fields, 4)};
    ShowPreview(FieldAt(fields, 3));
    if (!frequencyRead)
        RaiseInvalidInteger(FieldAt(fields, 1));
}

QString TF_Main::CharacterTheDeckCannotHold() const
{
    for (const QLineEdit *field : {T_word, T_Definition, T_Visual, T_Audio}) {
        std::string ignored;
        QString refused;
        if (!Store.Text.TryToBytes(field->text(), ignored, &refused))
            return refused;
    }
    return {};
}

void TF_Main::B_AddClick()
{
    if (T_word->text().isEmpty()) {
        ShowErrorMessage("Incomplete. Fill in the WORD");
        return;
    }
    // A code-page Deck that cannot hold a field may become a UTF-8 Deck, with this Item.
    DeckText deck = Store.Text;
    if (const QString refused = CharacterTheDeckCannotHold(); deck.Kind() == DeckKind::CodePage && !refused.isEmpty()) {
        if (AskConfirmation(QStringLiteral("This Deck's code page cannot hold ") + refused +
                            QStringLiteral(". Convert the Deck to Unicode (UTF-8)?")) != MsgResult::Yes)
            return;
        deck = DeckText(DeckKind::Utf8);
    }
    // Every field is checked before anything is written.
    shownItem.resize(4);
    DeckItem item;
    item.kind = deck.Kind();
    item.word = FieldBytes(T_word, "Word", deck, shownItem[0]);
    item.frequency = std::to_string(TrackBar1->value());
    item.definition = FieldBytes(T_Definition, "Definition", deck, shownItem[1]);
    item.visual = FieldBytes(T_Visual, "Visual", deck, shownItem[2]);
    item.audio = FieldBytes(T_Audio, "Audio", deck, shownItem[3]);
    // All or nothing: when it fails, the file, the list and the fields stay as they were.
    Store.StoreItem(item);
    Modified = true;
    FillWordList();
}

void TF_Main::B_DeleteClick()
{
    // The selected entry: the list has no current entry while the focus is on the button.
    const QList<QListWidgetItem *> selection = ListBox1->selectedItems();
    if (ListBox1->count() == 0 || selection.isEmpty())
        return;
    QListWidgetItem *selected = selection.front();
    // The word's own bytes, also where a UTF-8 Deck shows some of them as U+FFFD.
    std::string word;
    const auto listed = std::find_if(Store.FileWords.begin(), Store.FileWords.end(),
                                     [&](const std::string &bytes) { return Store.Text.ToText(bytes) == selected->text(); });
    if (listed != Store.FileWords.end())
        word = *listed;
    else if (!Store.Text.TryToBytes(selected->text(), word))
        return;
    if (AskConfirmation(QStringLiteral("Are you sure you want to delete ") + selected->text() + QStringLiteral("?")) !=
        MsgResult::Yes)
        return;
    Store.DeleteAllWordLines(word);
    FillWordList();
    B_ClearClick();
}

void TF_Main::B_BrowseVClick()
{
    if (auto path = Dialogs().openFileName({VisualFilter, "", ""}))
        PutBrowsedPath(T_Visual, "Visual", *path);
}

void TF_Main::B_BrowseAClick()
{
    if (auto path = Dialogs().openFileName({AudioFilter, "", ""}))
        PutBrowsedPath(T_Audio, "Audio", *path);
}

void TF_Main::ShowPreview(const std::string &visual)
{
    if (visual.empty()) {
        PreviewV->hide();
        L_UnableV->hide();
        return;
    }
    try {
        LoadPicture(*PreviewV, Store.Text.PathText(visual));
    } catch (const std::exception &) {
        ShowErrorMessage("Unable to load graphic.");
        L_UnableV->show();
        PreviewV->hide();
        return;
    }
    L_UnableV->hide();
    PreviewV->show();
}

void TF_Main::DropFileTarget1Drop()
{
    // The first name, unchanged; the preview keeps following the list's selection.
    ShowFromStart(T_Visual, DropFileTarget1->DroppedFiles.value(0));
}

void TF_Main::DropFileTarget2Drop() { ShowFromStart(T_Audio, DropFileTarget2->DroppedFiles.value(0)); }

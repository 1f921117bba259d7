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

const std::string TF_Main::VisualFilter =
    "All (*.jpg;*.gif;*.jpeg;*.bmp;*.emf;*.wmf)|*.jpg;*.gif;*.jpeg;*.bmp;*.emf;*.wmf|GIF Images (*.gif)|*.gif|"
    "JPEG Images(*.jpg;*.jpeg)|*.jpg;*.jpeg|Bitmaps (*.bmp)|*.bmp|Icons (*.ico)|*.ico|MetaFiles (*.wmf)|*.wmf|"
    "Enhanced MataFiles (*.emf)|*.emf";
const std::string TF_Main::AudioFilter = "Wave [*.wav]|*.wav";

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
        const QString word = FromAnsi(Store.WorkList[size_t(i)]);
        QListWidgetItem *entry = ListBox1->item(i);
        if (entry->text() != word)
            entry->setText(word);
    }
    QStringList added;
    added.reserve(wanted - kept);
    for (int i = kept; i < wanted; ++i)
        added.append(FromAnsi(Store.WorkList[size_t(i)]));
    ListBox1->addItems(added);
    ListBox1->setUpdatesEnabled(true);
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

enum class FieldKind { Text, Path };

// The bytes of a field as the Deck file will hold them; refuses what the file cannot hold.
std::string FieldBytes(const QLineEdit *field, const std::string &caption, FieldKind kind = FieldKind::Text)
{
    std::string bytes;
    if (!TryToAnsi(field->text(), bytes)) {
        if (kind == FieldKind::Path)
            throw PathRefused(caption, field->text());
        throw EFieldError("The " + caption +
                          " field contains characters that cannot be stored in a Deck file. Please remove them.");
    }
    CheckDeckField(caption, bytes);
    return bytes;
}

// A browsed file goes into a field only when the Deck can hold its name, and then unchanged.
void PutBrowsedPath(QLineEdit *field, const std::string &caption, const std::string &nativePath)
{
    const QString path = PathFromNative(nativePath);
    std::string bytes;
    if (!TryToAnsi(path, bytes) || NativeFromAnsiPath(bytes) != nativePath)
        throw PathRefused(caption, path);
    ShowFromStart(field, path);
}

std::string FieldAt(const StringList &fields, size_t index) { return index < fields.size() ? fields[index] : std::string{}; }

} // namespace

void TF_Main::ListBox1Click()
{
    QListWidgetItem *selected = ListBox1->currentItem();
    if (!selected)
        return;
    const QString text = selected->text();
    int line = -1;
    for (size_t i = 0; i < Store.FileWords.size(); ++i) {
        if (FromAnsi(Store.FileWords[i]).compare(text, Qt::CaseInsensitive) == 0) {
            line = int(i);
            break;
        }
    }
    if (line < 0)
        return;
    DeckStore::SplitLine(Store.ReadLineAt(line), Store.WorkList);
    const StringList fields = Store.WorkList;
    // A damaged frequency is reported and shown as 0; every other field still shows this
    // Item, so that storing it again cannot take another Item's fields.
    int frequency = 0;
    const bool frequencyRead = TryStrToInt(FieldAt(fields, 1), frequency);
    ShowFromStart(T_word, FromAnsi(FieldAt(fields, 0)));
    TrackBar1->setValue(frequencyRead ? frequency : 0);   // the track bar keeps 0 to 5
    L_Freq2->setText(QString::number(TrackBar1->value()));
    ShowFromStart(T_Definition, FromAnsi(FieldAt(fields, 2)));
    ShowFromStart(T_Visual, FromAnsi(FieldAt(fields, 3)));
    ShowFromStart(T_Audio, FromAnsi(FieldAt(fields, 4)));
    ShowPreview(FieldAt(fields, 3));
    if (!frequencyRead)
        RaiseInvalidInteger(FieldAt(fields, 1));
}

void TF_Main::B_AddClick()
{
    if (T_word->text().isEmpty()) {
        ShowErrorMessage("Incomplete. Fill in the WORD");
        return;
    }
    // Every field is checked before anything is written.
    DeckItem item;
    item.word = FieldBytes(T_word, "Word");
    item.frequency = std::to_string(TrackBar1->value());
    item.definition = FieldBytes(T_Definition, "Definition");
    item.visual = FieldBytes(T_Visual, "Visual", FieldKind::Path);
    item.audio = FieldBytes(T_Audio, "Audio", FieldKind::Path);
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
    // Every listed word came from the file's bytes, so it converts back exactly.
    std::string word;
    if (!TryToAnsi(selected->text(), word))
        return;
    if (AskConfirmation("Are you sure you want to delete " + word + "?") != MsgResult::Yes)
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
        LoadPicture(*PreviewV, visual);
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

// The Edit page: the word list and its sort menu, the Item fields and their commands.
#include "app/Unit1.h"

#include "platform/CodePage.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSlider>

void TF_Main::FillWordList()
{
    Store.FillWordList(Ascending1->isChecked(), NoSort1->isChecked(), SortbyWord1->isChecked());
    QStringList words;
    words.reserve(qsizetype(Store.WorkList.size()));
    for (const auto &word : Store.WorkList)
        words.append(FromAnsi(word));
    ListBox1->setUpdatesEnabled(false);
    ListBox1->clear();
    ListBox1->addItems(words);
    ListBox1->setUpdatesEnabled(true);
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

#include "app/LanguagesDialog.h"

#include "speech/SpeechLanguage.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {
QComboBox *LanguageList(const std::string &chosen, const QString &name)
{
    struct Entry {
        QString title;
        std::string code;
    };
    std::vector<Entry> entries;
    for (const std::string &code : KnownLanguages())
        entries.push_back({LanguageTitle(code), code});
    std::sort(entries.begin(), entries.end(),
              [](const Entry &a, const Entry &b) { return QString::localeAwareCompare(a.title, b.title) < 0; });
    auto *list = new QComboBox;
    list->setObjectName(name);
    for (const Entry &entry : entries)
        list->addItem(entry.title, QString::fromStdString(entry.code));
    list->setCurrentIndex(std::max(0, list->findData(QString::fromStdString(chosen))));
    return list;
}

std::string Chosen(const QComboBox *list) { return list->currentData().toString().toStdString(); }
} // namespace

TLanguagesDialog::TLanguagesDialog(QWidget *parent, const std::string &wordLanguage, const std::string &definitionLanguage)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("LanguagesDialog"));
    setWindowTitle(QStringLiteral("Deck Languages"));
    Cb_WordLanguage = LanguageList(wordLanguage, QStringLiteral("Cb_WordLanguage"));
    Cb_DefinitionLanguage = LanguageList(definitionLanguage, QStringLiteral("Cb_DefinitionLanguage"));
    Cb_WordLanguage->setAccessibleName(QStringLiteral("Language of the words"));
    Cb_DefinitionLanguage->setAccessibleName(QStringLiteral("Language of the definitions"));

    auto *note = new QLabel(QStringLiteral("Items without a recording are spoken in these languages."));
    note->setWordWrap(true);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Words:"), Cb_WordLanguage);
    form->addRow(QStringLiteral("&Definitions:"), Cb_DefinitionLanguage);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

std::string TLanguagesDialog::WordLanguage() const { return Chosen(Cb_WordLanguage); }

std::string TLanguagesDialog::DefinitionLanguage() const { return Chosen(Cb_DefinitionLanguage); }

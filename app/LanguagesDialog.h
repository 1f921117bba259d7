#pragma once
// The dialog that sets the languages a Deck's words and definitions are spoken in: two lists of
// the languages espeak-ng speaks, OK and Cancel.
#include <QDialog>

#include <string>

class QComboBox;

class TLanguagesDialog : public QDialog {
    Q_OBJECT
public:
    // Opens with these languages chosen.
    TLanguagesDialog(QWidget *parent, const std::string &wordLanguage, const std::string &definitionLanguage);
    std::string WordLanguage() const;
    std::string DefinitionLanguage() const;

    QComboBox *Cb_WordLanguage, *Cb_DefinitionLanguage;
};

#include "review/ReviewWord.h"

#include "platform/CodePage.h"

std::string ReviewWordOf(const std::string &deckWord) { return FromAnsi(deckWord).toUtf8().toStdString(); }

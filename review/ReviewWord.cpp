#include "review/ReviewWord.h"


std::string ReviewWordOf(const std::string &deckWord, const DeckText &deck)
{
    return deck.ToText(deckWord).toUtf8().toStdString();
}

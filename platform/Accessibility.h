#pragma once
// How the program's widgets meet assistive technology (AT-SPI on Linux), where Qt's own
// accessibility falls short:
// - Open pop-up menus become part of the application's accessibility tree. Qt lists only the
//   ordinary windows there, so a screen reader could neither find nor press the items of a
//   context menu; a main menu's pop-ups are reached through their menu bar anyway.
// - Toggling a TToggleButton through its accessible action is a click, as with the mouse or
//   the keyboard. For a plain tool button Qt only flips the state, so click handlers never run.
// - A drop-down list is named by its accessible name, as every other control is; Qt gives it
//   the chosen entry's text as its name, so "Question" would never be read.
// Call once, right after the application object is made.
#include <QToolButton>

void InstallAccessibility();

// A tool button that stays down until pressed again.
class TToggleButton : public QToolButton {
    Q_OBJECT
public:
    explicit TToggleButton(QWidget *parent = nullptr) : QToolButton(parent) { setCheckable(true); }
};

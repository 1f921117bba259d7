#include "platform/Accessibility.h"

#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QAction>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>

namespace {

// The open pop-up menus that no menu bar or menu leads to.
QObjectList StrayPopupMenus()
{
    QObjectList menus;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        auto *menu = qobject_cast<QMenu *>(window);
        if (!menu || !menu->isVisible())
            continue;
        const QObjectList owners = menu->menuAction()->associatedObjects();
        const bool reached = std::any_of(owners.begin(), owners.end(), [](QObject *owner) {
            return qobject_cast<QMenu *>(owner) || qobject_cast<QMenuBar *>(owner);
        });
        if (!reached)
            menus.append(menu);
    }
    return menus;
}

// The application's windows first, as Qt lists them, then the stray pop-up menus.
class AccessibleApplication : public QAccessibleApplication {
public:
    int childCount() const override { return QAccessibleApplication::childCount() + int(StrayPopupMenus().size()); }

    QAccessibleInterface *child(int index) const override
    {
        const int windows = QAccessibleApplication::childCount();
        if (index < windows)
            return QAccessibleApplication::child(index);
        const QObjectList menus = StrayPopupMenus();
        return index - windows < menus.size() ? QAccessible::queryAccessibleInterface(menus[index - windows])
                                              : nullptr;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const int window = QAccessibleApplication::indexOfChild(child);
        if (window >= 0 || !child)
            return window;
        const int menu = int(StrayPopupMenus().indexOf(child->object()));
        return menu < 0 ? -1 : QAccessibleApplication::childCount() + menu;
    }
};

// A check box to assistive technology, as Qt presents checkable buttons, whose toggle action
// clicks it.
class AccessibleToggleButton : public QAccessibleWidget {
public:
    explicit AccessibleToggleButton(TToggleButton *button) : QAccessibleWidget(button, QAccessible::CheckBox) {}

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = button()->isChecked();
        state.pressed = button()->isDown();
        return state;
    }

    QString text(QAccessible::Text kind) const override
    {
        QString text = QAccessibleWidget::text(kind);
        if (text.isEmpty() && kind == QAccessible::Name)
            text = button()->text().remove(QLatin1Char('&'));
        return text;
    }

    QStringList actionNames() const override { return QStringList(toggleAction()) + QAccessibleWidget::actionNames(); }

    void doAction(const QString &action) override
    {
        if (action == toggleAction()) {
            if (button()->isEnabled())
                button()->click();
        } else {
            QAccessibleWidget::doAction(action);
        }
    }

private:
    TToggleButton *button() const { return static_cast<TToggleButton *>(widget()); }
};

// A drop-down list (not editable) named by its accessible name, with its chosen entry as its
// value. Its one child is the list of entries; pressing it opens or closes that list.
class AccessibleDropDown : public QAccessibleWidget {
public:
    explicit AccessibleDropDown(QComboBox *box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value || (kind == QAccessible::Name && box()->accessibleName().isEmpty()))
            return box()->currentText();
        return QAccessibleWidget::text(kind);
    }

    int childCount() const override { return 1; }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(box()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && child->object() == box()->view() ? 0 : -1;
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString &action) override
    {
        if (action != showMenuAction() && action != pressAction())
            return;
        if (box()->view()->isVisible())
            box()->hidePopup();
        else
            box()->showPopup();
    }

private:
    QComboBox *box() const { return static_cast<QComboBox *>(widget()); }
};

QAccessibleInterface *ProgramInterfaces(const QString &, QObject *object)
{
    if (object && object == QCoreApplication::instance())
        return new AccessibleApplication;
    if (auto *button = qobject_cast<TToggleButton *>(object))
        return new AccessibleToggleButton(button);
    if (auto *box = qobject_cast<QComboBox *>(object); box && !box->isEditable())
        return new AccessibleDropDown(box);
    return nullptr;
}

} // namespace

void InstallAccessibility() { QAccessible::installFactory(ProgramInterfaces); }

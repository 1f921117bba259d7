#pragma once
// Unit DropTarget: the generic drop target TDropTarget and the drop target for lists
// of files TDropFileTarget, built on Qt's drag and drop.
//
// Use (as the main window does for its Visual and Audio fields):
//
//     DropFileTarget1 = new TDropFileTarget(this);
//     DropFileTarget1->SetName("DropFileTarget1");
//     DropFileTarget1->Dragtypes = {dtCopy};
//     DropFileTarget1->OnDrop = [this](QObject *, TShiftState, QPoint, TDropEffect &) {
//         T_Visual->setText(DropFileTarget1->DroppedFiles.at(0));
//     };
//     DropFileTarget1->RegisterTarget(T_Visual);     // creation step
//     ...
//     DropFileTarget1->UnregisterTarget();           // close step
//
// How the Windows drag-and-drop model (IDropTarget, drop effects, key states) maps onto Qt:
// - Registration installs the component as an event filter on the control (and on the viewport
//   of a scroll area) and sets acceptDrops; the control's own drag handling (a line edit's text
//   drop) no longer sees any drag event. Revocation removes the filter and clears acceptDrops.
//   A control holds at most one registration: registering a second component on it fails, and
//   so does revoking a control that is not registered (or registered to another component).
// - Qt sends the drag-move and drop events only to a widget that accepted the drag-enter event,
//   and offers a refused drag-enter to the parent widgets. So the component always accepts the
//   drag-enter event (the control stays the drop site for the whole drag, as with OLE drag and
//   drop) and reports the effect in the drag-move event that Qt sends right after it at the
//   same point, and in every later one: that answer is what the drag source sees. A drag with
//   no file list is thus refused from entry to drop and never reaches a parent widget.
// - The data object is the drag's QMimeData; the file-list format is its URL list
//   (text/uri-list); only local-file URLs give names.
// - Drop effects are Qt's drop actions (copy 1, move 2, link 4); the scroll flag 0x80000000 is
//   kept internally (the handlers see it; Qt has no such flag). The key state is the event's
//   keyboard modifiers and mouse buttons.
// - The client area of the target is the viewport of a QAbstractScrollArea, otherwise the
//   whole widget; its scroll bars are those of the scroll area, an auto-scroll step moves them
//   by one single step.
// - The drag pixmap is drawn by the desktop: there is no drag image on the target side, so
//   `DragImage` stays 0 and `ShowImage` has no visible effect.
// - The target control is watched: the component never touches it after it was destroyed.
#include "dragdrop/DropSource.h"

#include <QImage>
#include <QList>
#include <QMimeData>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <initializer_list>

class QEvent;
class QTimer;

// Drop effects: a 32-bit value of these bits (DROPEFFECT_*; the same values as Qt's actions).
using TDropEffect = uint32_t;
inline constexpr TDropEffect DROPEFFECT_NONE = 0;
inline constexpr TDropEffect DROPEFFECT_COPY = 1;
inline constexpr TDropEffect DROPEFFECT_MOVE = 2;
inline constexpr TDropEffect DROPEFFECT_LINK = 4;
inline constexpr TDropEffect DROPEFFECT_SCROLL = 0x80000000u;

// Registration results of the platform layer below.
inline constexpr int32_t E_INVALIDARG = int32_t(0x80070057u);
inline constexpr int32_t DRAGDROP_E_NOTREGISTERED = int32_t(0x80040100u);
inline constexpr int32_t DRAGDROP_E_ALREADYREGISTERED = int32_t(0x80040101u);

enum TDragType { dtCopy, dtMove, dtLink };

// A set of TDragType: `Dragtypes = {dtCopy, dtMove};`
class TDragTypes {
public:
    constexpr TDragTypes() = default;
    constexpr TDragTypes(std::initializer_list<TDragType> types)
    {
        for (TDragType t : types)
            bits |= bit(t);
    }
    constexpr bool contains(TDragType t) const { return (bits & bit(t)) != 0; }
    constexpr bool empty() const { return bits == 0; }
    constexpr TDragTypes &insert(TDragType t) { bits |= bit(t); return *this; }
    constexpr TDragTypes &erase(TDragType t) { bits &= ~bit(t); return *this; }
    friend constexpr bool operator==(TDragTypes a, TDragTypes b) { return a.bits == b.bits; }

private:
    static constexpr unsigned bit(TDragType t) { return 1u << unsigned(t); }
    unsigned bits = 0;
};

// The keys and mouse buttons held, as the handlers see them.
enum TShiftStateFlag { ssShift = 0x01, ssAlt = 0x02, ssCtrl = 0x04, ssLeft = 0x08, ssRight = 0x10,
                       ssMiddle = 0x20, ssDouble = 0x40 };
Q_DECLARE_FLAGS(TShiftState, TShiftStateFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TShiftState)

// The key state passed with each drag operation (the platform's key-state word).
struct TKeyState {
    Qt::KeyboardModifiers Modifiers;
    Qt::MouseButtons Buttons;
};
TShiftState KeyStateToShiftState(const TKeyState &keys);

// Sender, ShiftState, Point (client coordinates of the target), Effect (the handler may change
// it; the changed value is what the target reports).
using TDropTargetEvent = std::function<void(QObject *Sender, TShiftState ShiftState, QPoint Point,
                                            TDropEffect &Effect)>;
using TNotifyEvent = std::function<void(QObject *Sender)>;

// The platform's drop-target interface. Points are screen coordinates. Every operation
// returns S_OK; refusal travels in the effect.
class IDropTarget : public virtual IUnknown {
public:
    virtual int32_t DragEnter(const QMimeData *dataObject, TKeyState keyState, QPoint point,
                              TDropEffect &effect) = 0;
    virtual int32_t DragOver(TKeyState keyState, QPoint point, TDropEffect &effect) = 0;
    virtual int32_t DragLeave() = 0;
    virtual int32_t Drop(const QMimeData *dataObject, TKeyState keyState, QPoint point,
                         TDropEffect &effect) = 0;

protected:
    ~IDropTarget() = default;
};

class TDropTarget;

// The platform layer: RegisterDragDrop makes `control` deliver its drag events to `target`
// (S_OK; E_INVALIDARG for a null control or target; DRAGDROP_E_ALREADYREGISTERED when the
// control already has a drop target) and holds a reference to the target; RevokeDragDrop ends
// that (S_OK; DRAGDROP_E_NOTREGISTERED when the control has none) and releases the reference.
int32_t RegisterDragDrop(QWidget *control, TDropTarget *target);
int32_t RevokeDragDrop(QWidget *control);
// The drop target registered on a control, or null.
TDropTarget *RegisteredDropTarget(QWidget *control);

class TDropTarget : public TInterfacedComponent, public IDropTarget {
    Q_OBJECT
public:
    explicit TDropTarget(QObject *owner = nullptr);
    ~TDropTarget() override;

    // Published properties.
    TDragTypes Dragtypes;                 // effects this target allows; empty after construction
    bool GetDataOnEnter = false;          // read the data already when the drag enters
    TDropTargetEvent OnEnter;             // raised by an accepted DragEnter
    TDropTargetEvent OnDragOver;          // raised by DragOver while data is held
    TNotifyEvent OnLeave;                 // raised by DragLeave
    TDropTargetEvent OnDrop;              // raised by Drop once the data has been read
    TDropTargetEvent OnGetDropEffect;     // when assigned, decides the effect instead of the rule
    bool ShowImage = true;                // no visible effect: the desktop draws the drag pixmap

    // Makes `control` the control registered as drop target; a null control only unregisters.
    // Throws Exception("Failed to Register " + control name) when the platform refuses.
    void RegisterTarget(QWidget *control);
    // Revokes the registration. Throws Exception("Failed to Unregister " + control name) when
    // the platform refuses; the control then stays assigned.
    void UnregisterTarget();
    // The registered control; null when none, or when it has been destroyed.
    QWidget *TargetControl() const { return FTargetControl.data(); }

    // IDropTarget.
    int32_t DragEnter(const QMimeData *dataObject, TKeyState keyState, QPoint point,
                      TDropEffect &effect) override;
    int32_t DragOver(TKeyState keyState, QPoint point, TDropEffect &effect) override;
    int32_t DragLeave() override;
    int32_t Drop(const QMimeData *dataObject, TKeyState keyState, QPoint point,
                 TDropEffect &effect) override;

    // Virtual operations: what a derived target overrides to read formats of its own.
    virtual bool FetchData() = 0;       // read the held data into the component's lists
    virtual void ClearData() = 0;       // empty the component's lists
    virtual bool AcceptsFormat() = 0;   // does the held data offer a format this target reads
    virtual TDropEffect ChooseDropEffect(TShiftState shiftState, QPoint point, TDropEffect effect);
    virtual TDropEffect PasteFromClipboard();

    // One auto-scroll step: what each tick of ScrollTimer does (public so that it can be driven
    // directly).
    void AutoScroll();

    // The data of the drag in progress: held from an accepted DragEnter until DragLeave or Drop.
    const QMimeData *DataObject() const { return FDataObject.data(); }

    // State of the drag in progress (set by the drag operations).
    QList<QImage> BlankCursorList;      // image 0: 32 x 32, fully transparent
    quintptr DragImage = 0;             // always 0 here: no target-side drag image
    QPoint DragHotSpot;
    QPoint LastPoint;                   // client coordinates of the target
    int ScrollMargin = 0;               // pixels; the target's font height, taken on DragEnter
    Qt::Orientations TargetScrollBars;  // scroll bars the target has, taken on DragEnter
    QTimer *ScrollTimer = nullptr;      // 100 ms, owned; each tick runs AutoScroll

protected:
    bool GetInterface(const TGUID &iid, void **object) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend int32_t RegisterDragDrop(QWidget *, TDropTarget *);
    friend int32_t RevokeDragDrop(QWidget *);

    QWidget *ClientWidget() const;      // the viewport of a scroll area, otherwise the control
    QPoint ScreenToClient(QPoint point) const;
    QSize ClientSize() const;
    Qt::Orientations ScrollBarsOf(QWidget *control) const;
    void ReleaseDataObject() { FDataObject.clear(); }
    void TargetDestroyed();

    QPointer<QWidget> FTargetControl;
    QPointer<QMimeData> FDataObject;
};

class TDropFileTarget : public TDropTarget {
    Q_OBJECT
public:
    explicit TDropFileTarget(QObject *owner = nullptr);
    ~TDropFileTarget() override;

    // Full names of the dropped files, in the order the source lists them. Valid inside OnDrop
    // (and, with GetDataOnEnter, from DragEnter on); cleared when Drop returns.
    QStringList DroppedFiles;
    // Names of the file-name maps: this desktop has none, so the list stays empty.
    QStringList MappedFileNames;

    bool FetchData() override;
    void ClearData() override;
    bool AcceptsFormat() override;
    TDropEffect PasteFromClipboard() override;
};

// Reads the local-file URLs of a data object, in order, into `names` (appended). Returns
// true when at least one name was read.
bool ReadFileList(const QMimeData *data, QStringList &names);

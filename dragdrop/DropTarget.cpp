#include "dragdrop/DropTarget.h"

#include "platform/CodePage.h"
#include "platform/Exceptions.h"

#include <QAbstractScrollArea>
#include <QClipboard>
#include <QDropEvent>
#include <QFontInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdlib>

// ---------------------------------------------------------------------------------------------
// The platform layer: registration of a control as drop target.

namespace {

// The record of a registration: a child object of the registered control, so that it ends with
// the control. It holds the platform's reference to the target, released when the
// registration is revoked or the control destroyed.
class TDropRegistration : public QObject {
public:
    TDropRegistration(QWidget *control, TDropTarget *target) : QObject(control), target(target)
    {
        target->AddRef();
    }
    ~TDropRegistration() override
    {
        if (target)
            target->Release();
    }
    QPointer<TDropTarget> target;
    QPointer<QWidget> viewport;   // the viewport of a scroll area, also filtered
};

TDropRegistration *RegistrationOf(QWidget *control)
{
    if (!control)
        return nullptr;
    for (QObject *child : control->children())
        if (auto *registration = dynamic_cast<TDropRegistration *>(child))
            return registration;
    return nullptr;
}

} // namespace

int32_t RegisterDragDrop(QWidget *control, TDropTarget *target)
{
    if (!control || !target)
        return E_INVALIDARG;
    if (RegistrationOf(control))
        return DRAGDROP_E_ALREADYREGISTERED;
    auto *registration = new TDropRegistration(control, target);
    control->installEventFilter(target);
    if (auto *area = qobject_cast<QAbstractScrollArea *>(control)) {
        registration->viewport = area->viewport();
        area->viewport()->installEventFilter(target);
    }
    control->setAcceptDrops(true);
    return S_OK;
}

int32_t RevokeDragDrop(QWidget *control)
{
    TDropRegistration *registration = RegistrationOf(control);
    if (!registration)
        return DRAGDROP_E_NOTREGISTERED;
    if (registration->target) {
        control->removeEventFilter(registration->target);
        if (registration->viewport)
            registration->viewport->removeEventFilter(registration->target);
    }
    control->setAcceptDrops(false);
    delete registration;
    return S_OK;
}

TDropTarget *RegisteredDropTarget(QWidget *control)
{
    TDropRegistration *registration = RegistrationOf(control);
    return registration ? registration->target.data() : nullptr;
}

TShiftState KeyStateToShiftState(const TKeyState &keys)
{
    TShiftState state;
    if (keys.Modifiers & Qt::ShiftModifier)
        state |= ssShift;
    if (keys.Modifiers & Qt::ControlModifier)
        state |= ssCtrl;
    if (keys.Modifiers & Qt::AltModifier)
        state |= ssAlt;
    if (keys.Buttons & Qt::LeftButton)
        state |= ssLeft;
    if (keys.Buttons & Qt::RightButton)
        state |= ssRight;
    if (keys.Buttons & Qt::MiddleButton)
        state |= ssMiddle;
    return state;
}

namespace {

std::string ControlName(QWidget *control)
{
    return control ? ToAnsiLossy(control->objectName()) : std::string();
}

// The effect as Qt's drop action: one of copy, move, link (in this order of preference when
// a handler left several bits), or none.
Qt::DropAction ToDropAction(TDropEffect effect)
{
    if (effect & DROPEFFECT_COPY)
        return Qt::CopyAction;
    if (effect & DROPEFFECT_MOVE)
        return Qt::MoveAction;
    if (effect & DROPEFFECT_LINK)
        return Qt::LinkAction;
    return Qt::IgnoreAction;
}

// Reports the effect to Qt when it goes out of scope, also when a handler raised a failure.
// Qt reads a refused event's action as none, whatever it holds.
//
// A drag-enter event is always accepted: Qt delivers the drag-move and drop events of a drag
// only to a widget that accepted its drag-enter event, and offers a refused drag-enter to the
// parent widgets. The registered control is the drop site for the whole drag, as with OLE
// drag and drop; refusal travels in the move and drop events. Qt follows every drag-enter
// event with a drag-move event at the same point, and what the source sees is the answer to
// that move.
class EffectReport {
public:
    EffectReport(QDropEvent *event, const TDropEffect &effect, bool alwaysAccept)
        : event(event), effect(effect), alwaysAccept(alwaysAccept)
    {
    }
    ~EffectReport()
    {
        const Qt::DropAction action = ToDropAction(effect);
        event->setDropAction(action);
        event->setAccepted(alwaysAccept || action != Qt::IgnoreAction);
    }

private:
    QDropEvent *event;
    const TDropEffect &effect;
    bool alwaysAccept;
};

// Runs a step when it goes out of scope (the clean-up of Drop, also after a failure).
template <class F> class Finally {
public:
    explicit Finally(F f) : f(std::move(f)) {}
    ~Finally() { f(); }

private:
    F f;
};

// The preferred effect a file manager left on the clipboard with its file list: GNOME's
// "x-special/gnome-copied-files" ("cut" or "copy" on the first line) or KDE's cut mark.
TDropEffect PreferredDropEffect(const QMimeData *data)
{
    if (!data)
        return DROPEFFECT_NONE;
    if (data->hasFormat(QStringLiteral("x-special/gnome-copied-files"))) {
        const QByteArray first = data->data(QStringLiteral("x-special/gnome-copied-files"))
                                     .split('\n').value(0).trimmed();
        if (first == "cut")
            return DROPEFFECT_MOVE;
        if (first == "copy")
            return DROPEFFECT_COPY;
        return DROPEFFECT_NONE;
    }
    if (data->hasFormat(QStringLiteral("application/x-kde-cutselection"))
        && data->data(QStringLiteral("application/x-kde-cutselection")).startsWith('1'))
        return DROPEFFECT_MOVE;
    return DROPEFFECT_NONE;
}

} // namespace

bool ReadFileList(const QMimeData *data, QStringList &names)
{
    if (!data || !data->hasUrls())
        return !names.isEmpty();
    for (const QUrl &url : data->urls())
        if (url.isLocalFile())
            names.append(url.toLocalFile());
    return !names.isEmpty();
}

// ---------------------------------------------------------------------------------------------
// TDropTarget

TDropTarget::TDropTarget(QObject *owner) : TInterfacedComponent(owner)
{
    ScrollTimer = new QTimer(this);
    ScrollTimer->setInterval(100);
    connect(ScrollTimer, &QTimer::timeout, this, &TDropTarget::AutoScroll);
    // The component's own reference: its life is governed by its owner, never by Release.
    AddRef();
    GetDataOnEnter = false;
    QImage blank(32, 32, QImage::Format_ARGB32);
    blank.fill(Qt::transparent);
    BlankCursorList.append(blank);
    FDataObject.clear();
    ShowImage = true;
}

TDropTarget::~TDropTarget()
{
    BlankCursorList.clear();
    delete ScrollTimer;
    ScrollTimer = nullptr;
    try {
        UnregisterTarget();
    } catch (...) {
        // A destructor cannot report the failure; the registration record ends with its control.
    }
    if (FTargetControl)
        disconnect(FTargetControl, nullptr, this, nullptr);
}

bool TDropTarget::GetInterface(const TGUID &iid, void **object)
{
    if (iid == IID_IDropTarget) {
        *object = static_cast<IDropTarget *>(this);
        return true;
    }
    return TInterfacedComponent::GetInterface(iid, object);
}

void TDropTarget::RegisterTarget(QWidget *control)
{
    if (control == FTargetControl.data())
        return;
    if (FTargetControl)
        UnregisterTarget();
    FTargetControl = control;
    if (!control)
        return;
    connect(control, &QObject::destroyed, this, &TDropTarget::TargetDestroyed);
    if (RegisterDragDrop(control, this) != S_OK)
        throw Exception("Failed to Register " + ControlName(control));
}

void TDropTarget::UnregisterTarget()
{
    QWidget *control = FTargetControl.data();
    if (!control)
        return; // none assigned, or destroyed: nothing to revoke
    // A component revokes only its own registration.
    if (RegisteredDropTarget(control) != this || RevokeDragDrop(control) != S_OK)
        throw Exception("Failed to Unregister " + ControlName(control));
    disconnect(control, &QObject::destroyed, this, &TDropTarget::TargetDestroyed);
    if (ScrollTimer)
        ScrollTimer->stop();
    FTargetControl.clear();
}

void TDropTarget::TargetDestroyed()
{
    // The control goes away (possibly in the middle of a drag): stop everything that would
    // touch it. The registration record ends with the control.
    if (ScrollTimer)
        ScrollTimer->stop();
    ReleaseDataObject();
}

QWidget *TDropTarget::ClientWidget() const
{
    QWidget *control = FTargetControl.data();
    if (auto *area = qobject_cast<QAbstractScrollArea *>(control))
        return area->viewport();
    return control;
}

QPoint TDropTarget::ScreenToClient(QPoint point) const
{
    QWidget *client = ClientWidget();
    return client ? client->mapFromGlobal(point) : point;
}

QSize TDropTarget::ClientSize() const
{
    QWidget *client = ClientWidget();
    return client ? client->size() : QSize(0, 0);
}

Qt::Orientations TDropTarget::ScrollBarsOf(QWidget *control) const
{
    Qt::Orientations bars;
    auto *area = qobject_cast<QAbstractScrollArea *>(control);
    if (!area)
        return bars;
    auto has = [](const QScrollBar *bar, Qt::ScrollBarPolicy policy) {
        return policy == Qt::ScrollBarAlwaysOn
               || (policy == Qt::ScrollBarAsNeeded && bar->maximum() > bar->minimum());
    };
    if (has(area->horizontalScrollBar(), area->horizontalScrollBarPolicy()))
        bars |= Qt::Horizontal;
    if (has(area->verticalScrollBar(), area->verticalScrollBarPolicy()))
        bars |= Qt::Vertical;
    return bars;
}

int32_t TDropTarget::DragEnter(const QMimeData *dataObject, TKeyState keyState, QPoint point,
                               TDropEffect &effect)
{
    // 1-2.
    ClearData();
    FDataObject = const_cast<QMimeData *>(dataObject);
    // 3. No target-side drag image on this desktop: the drag pixmap is the desktop's.
    DragImage = 0;
    // 4.
    if (!AcceptsFormat()) {
        ReleaseDataObject();
        effect = DROPEFFECT_NONE;
        return S_OK;
    }
    // 5.
    QWidget *control = FTargetControl.data();
    ScrollMargin = control ? std::abs(QFontInfo(control->font()).pixelSize()) : 0;
    TargetScrollBars = ScrollBarsOf(control);
    // 6.
    if (GetDataOnEnter)
        FetchData();
    // 7-9.
    const TShiftState shiftState = KeyStateToShiftState(keyState);
    const QPoint clientPoint = ScreenToClient(point);
    LastPoint = clientPoint;
    effect = ChooseDropEffect(shiftState, clientPoint, effect);
    if (OnEnter)
        OnEnter(this, shiftState, clientPoint, effect);
    return S_OK;
}

TDropEffect TDropTarget::ChooseDropEffect(TShiftState shiftState, QPoint point, TDropEffect effect)
{
    // 1. Mask the offered effect with Dragtypes; other bits pass.
    if (!Dragtypes.contains(dtCopy))
        effect &= ~DROPEFFECT_COPY;
    if (!Dragtypes.contains(dtMove))
        effect &= ~DROPEFFECT_MOVE;
    if (!Dragtypes.contains(dtLink))
        effect &= ~DROPEFFECT_LINK;
    // 2. The handler decides, when there is one.
    if (OnGetDropEffect) {
        OnGetDropEffect(this, shiftState, point, effect);
        return effect;
    }
    // 3. Built-in rule on Shift and Ctrl.
    const bool shift = shiftState.testFlag(ssShift);
    const bool ctrl = shiftState.testFlag(ssCtrl);
    TDropEffect result;
    if (shift && ctrl && (effect & DROPEFFECT_LINK))
        result = DROPEFFECT_LINK;
    else if (shift && !ctrl && (effect & DROPEFFECT_MOVE))
        result = DROPEFFECT_MOVE;
    else if (effect & DROPEFFECT_COPY)
        result = DROPEFFECT_COPY;
    else if (effect & DROPEFFECT_MOVE)
        result = DROPEFFECT_MOVE;
    else if (effect & DROPEFFECT_LINK)
        result = DROPEFFECT_LINK;
    else
        result = DROPEFFECT_NONE;
    // 4. Scroll flag in the margin band of an axis with a scroll bar; the inner edge is outside.
    if (TargetScrollBars.toInt() != 0) {
        const QSize client = ClientSize();
        if ((TargetScrollBars & Qt::Horizontal)
            && (point.x() < ScrollMargin || point.x() > client.width() - ScrollMargin))
            result |= DROPEFFECT_SCROLL;
        if ((TargetScrollBars & Qt::Vertical)
            && (point.y() < ScrollMargin || point.y() > client.height() - ScrollMargin))
            result |= DROPEFFECT_SCROLL;
    }
    return result;
}

int32_t TDropTarget::DragOver(TKeyState keyState, QPoint point, TDropEffect &effect)
{
    const QPoint clientPoint = ScreenToClient(point);
    if (FDataObject) {
        const TShiftState shiftState = KeyStateToShiftState(keyState);
        effect = ChooseDropEffect(shiftState, clientPoint, effect);
        if (OnDragOver)
            OnDragOver(this, shiftState, clientPoint, effect);
        const bool scrolling = TargetScrollBars.toInt() != 0 && (effect & DROPEFFECT_SCROLL) != 0;
        // Enabling a running timer leaves it running (it is not restarted).
        if (!scrolling)
            ScrollTimer->stop();
        else if (!ScrollTimer->isActive())
            ScrollTimer->start();
    } else {
        effect = DROPEFFECT_NONE;
    }
    // No drag image to move on this desktop.
    LastPoint = clientPoint;
    return S_OK;
}

void TDropTarget::AutoScroll()
{
    // No drag image to hide and show again around the step.
    auto *area = qobject_cast<QAbstractScrollArea *>(FTargetControl.data());
    if (!area)
        return;
    const QSize client = ClientSize();
    if (LastPoint.y() < ScrollMargin)
        area->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (LastPoint.y() > client.height() - ScrollMargin)
        area->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (LastPoint.x() < ScrollMargin)
        area->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (LastPoint.x() > client.width() - ScrollMargin)
        area->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
}

int32_t TDropTarget::DragLeave()
{
    ClearData();
    ScrollTimer->stop();
    ReleaseDataObject();
    if (OnLeave)
        OnLeave(this);
    return S_OK;
}

int32_t TDropTarget::Drop(const QMimeData *, TKeyState keyState, QPoint point, TDropEffect &effect)
{
    // 1. Refused on entry.
    if (!FDataObject) {
        effect = DROPEFFECT_NONE;
        return S_OK;
    }
    // 2.
    ScrollTimer->stop();
    // 6 (also when a step in between raises a failure).
    Finally cleanUp([this] {
        ClearData();
        ReleaseDataObject();
    });
    // 3-4.
    const TShiftState shiftState = KeyStateToShiftState(keyState);
    const QPoint clientPoint = ScreenToClient(point);
    effect = ChooseDropEffect(shiftState, clientPoint, effect);
    // 5.
    if (!GetDataOnEnter && !FetchData()) {
        effect = DROPEFFECT_NONE;
        return S_OK;
    }
    if (OnDrop)
        OnDrop(this, shiftState, clientPoint, effect);
    return S_OK;
}

TDropEffect TDropTarget::PasteFromClipboard()
{
    return PreferredDropEffect(QGuiApplication::clipboard()->mimeData());
}

bool TDropTarget::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::DragLeave
        && type != QEvent::Drop)
        return TInterfacedComponent::eventFilter(watched, event);
    QWidget *control = FTargetControl.data();
    if (!control || !watched->isWidgetType()
        || (watched != control && watched != ClientWidget()))
        return TInterfacedComponent::eventFilter(watched, event);

    // Every drag event of the target is the component's: the control's own drag handling never
    // sees one.
    if (type == QEvent::DragLeave) {
        event->accept();
        DragLeave();
        return true;
    }
    auto *dropEvent = static_cast<QDropEvent *>(event);
    auto *widget = static_cast<QWidget *>(watched);
    const TKeyState keys{dropEvent->modifiers(), dropEvent->buttons()};
    const QPoint screenPoint = widget->mapToGlobal(dropEvent->position().toPoint());
    TDropEffect effect = TDropEffect(dropEvent->possibleActions().toInt());
    EffectReport report(dropEvent, effect, type == QEvent::DragEnter);
    switch (type) {
    case QEvent::DragEnter:
        DragEnter(dropEvent->mimeData(), keys, screenPoint, effect);
        break;
    case QEvent::DragMove:
        DragOver(keys, screenPoint, effect);
        break;
    default:
        Drop(dropEvent->mimeData(), keys, screenPoint, effect);
        break;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// TDropFileTarget

TDropFileTarget::TDropFileTarget(QObject *owner) : TDropTarget(owner)
{
    // The lists are members. No file-name map formats exist on this desktop.
}

TDropFileTarget::~TDropFileTarget()
{
    DroppedFiles.clear();
    MappedFileNames.clear();
}

bool TDropFileTarget::AcceptsFormat()
{
    const QMimeData *data = DataObject();
    return data && data->hasUrls();
}

void TDropFileTarget::ClearData()
{
    DroppedFiles.clear();
    MappedFileNames.clear();
}

bool TDropFileTarget::FetchData()
{
    ClearData();
    const QMimeData *data = DataObject();
    if (!data || !data->hasUrls())
        return false;
    // MappedFileNames stays empty: no file-name maps here.
    return ReadFileList(data, DroppedFiles);
}

TDropEffect TDropFileTarget::PasteFromClipboard()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasUrls())
        return DROPEFFECT_NONE;
    DroppedFiles.clear();
    if (!ReadFileList(data, DroppedFiles))
        return DROPEFFECT_NONE;
    const TDropEffect preferred = TDropTarget::PasteFromClipboard();
    return preferred != DROPEFFECT_NONE ? preferred : DROPEFFECT_COPY;
}

// The file drop target: synthesized drag-enter, drag-move, drag-leave and drop events
// carrying file URLs, sent to real widgets under the offscreen platform.
#include "dragdrop/DropSource.h"
#include "dragdrop/DropTarget.h"
#include "platform/Exceptions.h"
#include "support/ScriptedDialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFontInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

std::unique_ptr<QMimeData> FileData(const QStringList &paths)
{
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls.append(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

std::unique_ptr<QMimeData> UrlData(const QStringList &urls)
{
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> list;
    for (const QString &url : urls)
        list.append(QUrl(url));
    data->setUrls(list);
    return data;
}

// What the target reported to Qt: accepted with an action, or refused (Qt reads the action of
// a refused event as none whatever it holds).
struct Reply {
    bool accepted;
    Qt::DropAction action;
};

Reply Result(const QDropEvent &event)
{
    return {event.isAccepted(), event.isAccepted() ? event.dropAction() : Qt::IgnoreAction};
}

Reply SendEnter(QWidget *to, QPoint pos, Qt::DropActions offered, const QMimeData *data,
                Qt::KeyboardModifiers keys = {}, Qt::MouseButtons buttons = Qt::LeftButton)
{
    QDragEnterEvent event(pos, offered, data, buttons, keys);
    QApplication::sendEvent(to, &event);
    return Result(event);
}

Reply SendMove(QWidget *to, QPoint pos, Qt::DropActions offered, const QMimeData *data,
               Qt::KeyboardModifiers keys = {}, Qt::MouseButtons buttons = Qt::LeftButton)
{
    QDragMoveEvent event(pos, offered, data, buttons, keys);
    QApplication::sendEvent(to, &event);
    return Result(event);
}

Reply SendDrop(QWidget *to, QPoint pos, Qt::DropActions offered, const QMimeData *data,
               Qt::KeyboardModifiers keys = {}, Qt::MouseButtons buttons = {})
{
    QDropEvent event(QPointF(pos), offered, data, buttons, keys);
    QApplication::sendEvent(to, &event);
    return Result(event);
}

void SendLeave(QWidget *to)
{
    QDragLeaveEvent event;
    QApplication::sendEvent(to, &event);
}

Qt::DropActions Actions(unsigned bits)
{
    return Qt::DropActions::fromInt(int(bits));
}

TDragTypes Types(unsigned bits)
{
    TDragTypes types;
    if (bits & 1)
        types.insert(dtCopy);
    if (bits & 2)
        types.insert(dtMove);
    if (bits & 4)
        types.insert(dtLink);
    return types;
}

// The effect rule, written out case by case apart from the component's own code.
TDropEffect ExpectedEffect(unsigned offered, unsigned allowed, bool shift, bool ctrl)
{
    const unsigned a = offered & allowed;
    if (shift && ctrl && (a & 4))
        return DROPEFFECT_LINK;
    if (shift && !ctrl && (a & 2))
        return DROPEFFECT_MOVE;
    if (a & 1)
        return DROPEFFECT_COPY;
    if (a & 2)
        return DROPEFFECT_MOVE;
    if (a & 4)
        return DROPEFFECT_LINK;
    return DROPEFFECT_NONE;
}

Qt::DropAction ActionOf(TDropEffect effect)
{
    switch (effect) {
    case DROPEFFECT_COPY: return Qt::CopyAction;
    case DROPEFFECT_MOVE: return Qt::MoveAction;
    case DROPEFFECT_LINK: return Qt::LinkAction;
    default: return Qt::IgnoreAction;
    }
}

// Records what the handlers of a target saw.
struct Seen {
    struct Call {
        TShiftState shift;
        QPoint point;
        TDropEffect effect;
        QStringList files;
    };
    std::vector<Call> enter, over, drop;
    int leaves = 0;

    void attach(TDropFileTarget &target)
    {
        target.OnEnter = [this, &target](QObject *sender, TShiftState s, QPoint p, TDropEffect &e) {
            EXPECT_EQ(sender, &target);
            enter.push_back({s, p, e, target.DroppedFiles});
        };
        target.OnDragOver = [this, &target](QObject *sender, TShiftState s, QPoint p, TDropEffect &e) {
            EXPECT_EQ(sender, &target);
            over.push_back({s, p, e, target.DroppedFiles});
        };
        target.OnDrop = [this, &target](QObject *sender, TShiftState s, QPoint p, TDropEffect &e) {
            EXPECT_EQ(sender, &target);
            drop.push_back({s, p, e, target.DroppedFiles});
        };
        target.OnLeave = [this, &target](QObject *sender) {
            EXPECT_EQ(sender, &target);
            ++leaves;
        };
    }
    void clear() { *this = Seen(); }
};

// A window with a single-line field (like the Edit page's T_Visual) and a long list.
class DropTargetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->resize(400, 300);
        field = new QLineEdit(window.get());
        field->setObjectName("T_Visual");
        field->setGeometry(10, 10, 300, 24);
        list = new QListWidget(window.get());
        list->setObjectName("ListBox1");
        QFont font = list->font();
        font.setPixelSize(10);
        list->setFont(font);
        for (int i = 0; i < 200; ++i)
            list->addItem(QString("item %1").arg(i));
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        list->setGeometry(10, 50, 200, 160);
    }
    void ShowWindow()
    {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return list->verticalScrollBar()->maximum() > 0; }));
    }

    std::unique_ptr<QWidget> window;
    QLineEdit *field = nullptr;
    QListWidget *list = nullptr;
};

} // namespace

// ---------------------------------------------------------------------------------------------

TEST(InterfacedComponent, CountsReferencesAndAnswersItsInterfaces)
{
    QObject owner;
    QPointer<TInterfacedComponent> component = new TInterfacedComponent(&owner);
    component->SetName("C1");
    EXPECT_EQ(component->Name(), "C1");
    EXPECT_EQ(component->Tag, 0);
    EXPECT_EQ(component->RefCount(), 0);
    EXPECT_EQ(component->AddRef(), 1);
    EXPECT_EQ(component->AddRef(), 2);
    void *object = reinterpret_cast<void *>(1);
    EXPECT_EQ(component->QueryInterface(IID_IUnknown, &object), S_OK);
    EXPECT_EQ(object, static_cast<IUnknown *>(component.data()));
    EXPECT_EQ(component->RefCount(), 3);
    object = reinterpret_cast<void *>(1);
    EXPECT_EQ(component->QueryInterface(IID_IDropTarget, &object), E_NOINTERFACE);
    EXPECT_EQ(E_NOINTERFACE, int32_t(0x80004002u));
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(component->RefCount(), 3);
    EXPECT_EQ(component->Release(), 2);
    EXPECT_EQ(component->Release(), 1);
    EXPECT_FALSE(component.isNull());
    EXPECT_EQ(component->Release(), 0); // destroys the object
    EXPECT_TRUE(component.isNull());
    EXPECT_TRUE(owner.children().isEmpty());
}

// ---------------------------------------------------------------------------------------------
// The effect rule

TEST_F(DropTargetTest, FreshTargetRefusesEveryDragUntilGivenDragtypes)
{
    TDropFileTarget target;
    // It answers as a drop target and holds a reference of its own, which a release never frees.
    void *object = nullptr;
    EXPECT_EQ(target.QueryInterface(IID_IDropTarget, &object), S_OK);
    EXPECT_EQ(object, static_cast<IDropTarget *>(&target));
    EXPECT_EQ(target.Release(), 1);
    EXPECT_EQ(target.TargetControl(), nullptr);
    Seen seen;
    seen.attach(target);
    target.RegisterTarget(field);
    EXPECT_EQ(target.TargetControl(), field);
    auto data = FileData({"/tmp/a.bmp"});
    for (unsigned offered = 0; offered < 8; ++offered)
        for (Qt::KeyboardModifiers keys : {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier),
                                           Qt::KeyboardModifiers(Qt::ShiftModifier | Qt::ControlModifier)}) {
            Reply r = SendEnter(field, {5, 5}, Actions(offered), data.get(), keys);
            EXPECT_TRUE(r.accepted); // the drag stays the target's: refusal is in the moves
            r = SendMove(field, {6, 5}, Actions(offered), data.get(), keys);
            EXPECT_FALSE(r.accepted);
            EXPECT_EQ(r.action, Qt::IgnoreAction);
            SendLeave(field);
        }
    EXPECT_EQ(target.DataObject(), nullptr); // nothing is held after the drags left
    ASSERT_FALSE(seen.enter.empty());
    for (const auto &call : seen.enter)
        EXPECT_EQ(call.effect, DROPEFFECT_NONE);
    for (const auto &call : seen.over)
        EXPECT_EQ(call.effect, DROPEFFECT_NONE);
}

TEST_F(DropTargetTest, EffectTableForEveryOfferedSetDragtypesAndKeys)
{
    const std::vector<Qt::KeyboardModifiers> keySets = {
        {}, Qt::ShiftModifier, Qt::ControlModifier, Qt::ShiftModifier | Qt::ControlModifier,
        Qt::AltModifier, Qt::AltModifier | Qt::ShiftModifier, Qt::AltModifier | Qt::ControlModifier,
        Qt::AltModifier | Qt::ShiftModifier | Qt::ControlModifier};
    TDropFileTarget target;
    Seen seen;
    seen.attach(target);
    target.RegisterTarget(field);
    auto data = FileData({"/tmp/a.bmp"});
    int cases = 0;
    for (unsigned offered = 0; offered < 8; ++offered)
        for (unsigned allowed = 0; allowed < 8; ++allowed)
            for (Qt::KeyboardModifiers keys : keySets) {
                target.Dragtypes = Types(allowed);
                const TDropEffect expected = ExpectedEffect(offered, allowed, keys & Qt::ShiftModifier,
                                                            keys & Qt::ControlModifier);
                const std::string where = "offered " + std::to_string(offered) + " allowed "
                                          + std::to_string(allowed) + " keys "
                                          + std::to_string(keys.toInt());
                seen.clear();
                Reply r = SendEnter(field, {5, 5}, Actions(offered), data.get(), keys);
                EXPECT_TRUE(r.accepted) << where;
                if (expected != DROPEFFECT_NONE) {
                    EXPECT_EQ(r.action, ActionOf(expected)) << where;
                }
                ASSERT_EQ(seen.enter.size(), 1u) << where;
                EXPECT_EQ(seen.enter[0].effect, expected) << where;
                r = SendMove(field, {7, 6}, Actions(offered), data.get(), keys);
                EXPECT_EQ(r.accepted, expected != DROPEFFECT_NONE) << where;
                EXPECT_EQ(r.action, ActionOf(expected)) << where;
                ASSERT_EQ(seen.over.size(), 1u) << where;
                EXPECT_EQ(seen.over[0].effect, expected) << where;
                r = SendDrop(field, {7, 6}, Actions(offered), data.get(), keys);
                EXPECT_EQ(r.accepted, expected != DROPEFFECT_NONE) << where;
                EXPECT_EQ(r.action, ActionOf(expected)) << where;
                ASSERT_EQ(seen.drop.size(), 1u) << where;
                EXPECT_EQ(seen.drop[0].effect, expected) << where;
                ++cases;
            }
    EXPECT_EQ(cases, 512);
}

TEST_F(DropTargetTest, EffectRuleEdgeCasesOfKeysAndDragtypes)
{
    TDropFileTarget target;
    target.RegisterTarget(field);
    auto data = FileData({"/tmp/a.bmp"});
    const Qt::DropActions copyMove = Qt::CopyAction | Qt::MoveAction;
    const Qt::DropActions all = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    auto enter = [&](Qt::DropActions offered, Qt::KeyboardModifiers keys) {
        SendEnter(field, {5, 5}, offered, data.get(), keys);
        Reply r = SendMove(field, {5, 5}, offered, data.get(), keys); // what the source sees
        SendLeave(field);
        return r.action;
    };
    target.Dragtypes = {dtCopy};
    EXPECT_EQ(enter(copyMove, {}), Qt::CopyAction);
    EXPECT_EQ(enter(copyMove, Qt::ShiftModifier), Qt::CopyAction);
    EXPECT_EQ(enter(copyMove, Qt::ShiftModifier | Qt::ControlModifier), Qt::CopyAction);
    EXPECT_EQ(enter(Qt::MoveAction, {}), Qt::IgnoreAction);
    target.Dragtypes = {dtCopy, dtMove, dtLink};
    EXPECT_EQ(enter(all, {}), Qt::CopyAction);
    EXPECT_EQ(enter(all, Qt::ControlModifier), Qt::CopyAction);
    EXPECT_EQ(enter(all, Qt::ShiftModifier), Qt::MoveAction);
    EXPECT_EQ(enter(all, Qt::ShiftModifier | Qt::ControlModifier), Qt::LinkAction);
    EXPECT_EQ(enter(all, Qt::AltModifier), Qt::CopyAction);
    EXPECT_EQ(enter(all, Qt::AltModifier | Qt::ShiftModifier), Qt::MoveAction);
    target.Dragtypes = {dtMove};
    EXPECT_EQ(enter(Qt::MoveAction, {}), Qt::MoveAction);
    target.Dragtypes = {dtLink};
    EXPECT_EQ(enter(Qt::LinkAction, {}), Qt::LinkAction);

    // A drop with Shift held on a copy-only target is still a copy.
    target.Dragtypes = {dtCopy};
    QStringList got;
    target.OnDrop = [&](QObject *, TShiftState, QPoint, TDropEffect &e) {
        EXPECT_EQ(e, DROPEFFECT_COPY);
        got = target.DroppedFiles;
    };
    SendEnter(field, {5, 5}, copyMove, data.get(), Qt::ShiftModifier);
    SendMove(field, {6, 5}, copyMove, data.get(), Qt::ShiftModifier);
    Reply r = SendDrop(field, {6, 5}, copyMove, data.get(), Qt::ShiftModifier);
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.action, Qt::CopyAction);
    EXPECT_EQ(got, QStringList{"/tmp/a.bmp"});
}

TEST_F(DropTargetTest, HandlersSeeShiftStateAndClientPoint)
{
    TDropFileTarget target;
    target.Dragtypes = {dtCopy};
    Seen seen;
    seen.attach(target);
    target.RegisterTarget(field);
    auto data = FileData({"/tmp/a.bmp"});
    SendEnter(field, {12, 7}, Qt::CopyAction, data.get(),
              Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier, Qt::LeftButton | Qt::RightButton);
    SendMove(field, {13, 8}, Qt::CopyAction, data.get(), {}, Qt::MiddleButton);
    SendDrop(field, {14, 9}, Qt::CopyAction, data.get(), Qt::ShiftModifier, {});
    ASSERT_EQ(seen.enter.size(), 1u);
    EXPECT_EQ(seen.enter[0].shift, TShiftState(ssShift | ssCtrl | ssAlt | ssLeft | ssRight));
    EXPECT_EQ(seen.enter[0].point, QPoint(12, 7));
    EXPECT_EQ(target.LastPoint, QPoint(13, 8));
    ASSERT_EQ(seen.over.size(), 1u);
    EXPECT_EQ(seen.over[0].shift, TShiftState(ssMiddle));
    EXPECT_EQ(seen.over[0].point, QPoint(13, 8));
    ASSERT_EQ(seen.drop.size(), 1u);
    EXPECT_EQ(seen.drop[0].shift, TShiftState(ssShift));
    EXPECT_EQ(seen.drop[0].point, QPoint(14, 9));
}

TEST_F(DropTargetTest, OnGetDropEffectTakesOverWithoutScrollFlag)
{
    ShowWindow();
    TDropFileTarget target;
    target.Dragtypes = {dtCopy};
    Seen seen;
    seen.attach(target);
    std::vector<TDropEffect> offeredToHandler;
    target.OnGetDropEffect = [&](QObject *sender, TShiftState, QPoint, TDropEffect &e) {
        EXPECT_EQ(sender, &target);
        offeredToHandler.push_back(e);
        e = DROPEFFECT_LINK; // outside Dragtypes: used as is
    };
    target.RegisterTarget(list);
    auto data = FileData({"/tmp/a.bmp"});
    QWidget *viewport = list->viewport();
    const Qt::DropActions all = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    // In the margin band of a list with scroll bars: still no scroll flag.
    Reply r = SendEnter(viewport, {1, 1}, all, data.get());
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.action, Qt::LinkAction);
    r = SendMove(viewport, {1, 2}, all, data.get(), Qt::ShiftModifier);
    EXPECT_EQ(r.action, Qt::LinkAction);
    ASSERT_EQ(offeredToHandler.size(), 2u);
    EXPECT_EQ(offeredToHandler[0], DROPEFFECT_COPY); // the offer masked with Dragtypes
    ASSERT_EQ(seen.enter.size(), 1u);
    EXPECT_EQ(seen.enter[0].effect, DROPEFFECT_LINK);
    ASSERT_EQ(seen.over.size(), 1u);
    EXPECT_EQ(seen.over[0].effect, DROPEFFECT_LINK);
    EXPECT_FALSE(target.ScrollTimer->isActive());
    SendDrop(viewport, {1, 2}, all, data.get());
    ASSERT_EQ(seen.drop.size(), 1u);
    EXPECT_EQ(seen.drop[0].effect, DROPEFFECT_LINK);
}

// ---------------------------------------------------------------------------------------------
// Scroll flag, margin band and auto-scroll

TEST_F(DropTargetTest, SingleLineFieldNeverGetsTheScrollFlag)
{
    ShowWindow();
    TDropFileTarget target;
    target.Dragtypes = {dtCopy};
    Seen seen;
    seen.attach(target);
    target.RegisterTarget(field);
    auto data = FileData({"/tmp/a.bmp"});
    SendEnter(field, {0, 0}, Qt::CopyAction, data.get());
    EXPECT_EQ(target.TargetScrollBars.toInt(), 0);
    EXPECT_GT(target.ScrollMargin, 0);
    EXPECT_EQ(target.ScrollMargin, std::abs(QFontInfo(field->font()).pixelSize()));
    for (QPoint p : {QPoint(0, 0), QPoint(1, 1), QPoint(field->width() - 1, field->height() - 1),
                     QPoint(field->width() / 2, 0)}) {
        SendMove(field, p, Qt::CopyAction, data.get());
        EXPECT_FALSE(target.ScrollTimer->isActive());
    }
    for (const auto &call : seen.enter)
        EXPECT_EQ(call.effect, DROPEFFECT_COPY);
    for (const auto &call : seen.over)
        EXPECT_EQ(call.effect, DROPEFFECT_COPY);
    SendLeave(field);
}

TEST_F(DropTargetTest, MarginBandInnerEdgeIsOutside)
{
    ShowWindow();
    TDropFileTarget target;
    target.Dragtypes = {dtCopy};
    Seen seen;
    seen.attach(target);
    target.RegisterTarget(list);
    auto data = FileData({"/tmp/a.bmp"});
    QWidget *viewport = list->viewport();
    const QSize client = viewport->size();
    const QPoint middle(client.width() / 2, client.height() / 2);
    SendEnter(viewport, middle, Qt::CopyAction, data.get());
    EXPECT_EQ(target.TargetScrollBars, Qt::Horizontal | Qt::Vertical);
    const int m = target.ScrollMargin;
    EXPECT_EQ(m, std::abs(QFontInfo(list->font()).pixelSize()));
    ASSERT_GT(m, 1);
    ASSERT_EQ(seen.enter.size(), 1u);
    EXPECT_EQ(seen.enter[0].effect, DROPEFFECT_COPY);

    auto over = [&](QPoint p) {
        seen.over.clear();
        SendMove(viewport, p, Qt::CopyAction, data.get());
        EXPECT_EQ(seen.over.size(), 1u);
        const bool flag = !seen.over.empty() && (seen.over[0].effect & DROPEFFECT_SCROLL);
        EXPECT_EQ(flag, target.ScrollTimer->isActive());
        if (!seen.over.empty()) {
            EXPECT_EQ(seen.over[0].effect & ~DROPEFFECT_SCROLL, DROPEFFECT_COPY);
        }
        return flag;
    };
    EXPECT_FALSE(over({m, middle.y()}));                       // exactly ScrollMargin from the left
    EXPECT_TRUE(over({m - 1, middle.y()}));                    // one pixel closer
    EXPECT_FALSE(over({client.width() - m, middle.y()}));
    EXPECT_TRUE(over({client.width() - m + 1, middle.y()}));
    EXPECT_FALSE(over({middle.x(), m}));
    EXPECT_TRUE(over({middle.x(), m - 1}));
    EXPECT_FALSE(over({middle.x(), client.height() - m}));
    EXPECT_TRUE(over({middle.x(), client.height() - m + 1}));
    EXPECT_FALSE(over(middle));
    SendLeave(viewport);

    // The same target with only a vertical scroll bar: the left band does not scroll.
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QApplication::processEvents();
    SendEnter(viewport, middle, Qt::CopyAction, data.get());
    EXPECT_EQ(target.TargetScrollBars, Qt::Vertical);
    EXPECT_FALSE(over({0, middle.y()}));
    EXPECT_TRUE(over({middle.x(), 0}));
    SendLeave(viewport);
    EXPECT_FALSE(target.ScrollTimer->isActive());
}

TEST_F(DropTargetTest, EventsOnTheScrollAreaItselfUseViewportCoordinates)
{
    ShowWindow();
    TDropFileTarget target;
    target.Dragtypes = {dtCopy};
    Seen seen;
    seen.attach(target);
    target.RegisterTarget(list);
    auto data = FileData({"/tmp/a.bmp"});
    const QPoint inViewport(30, 40);
    SendEnter(list, list->viewport()->mapTo(list, inViewport), Qt::CopyAction, data.get());
    ASSERT_EQ(seen.enter.size(), 1u);
    EXPECT_EQ(seen.enter[0].point, inViewport);
    SendLeave(list);
    EXPECT_EQ(seen.leaves, 1);
}

TEST_F(DropTargetTest, AutoScrollStepsOneLinePerTickInTheBandsAxes)
{
    ShowWindow();
    TDropFileTarget target;
    target.Dragtypes = {dtCopy};
    target.RegisterTarget(list);
    auto data = FileData({"/tmp/a.bmp"});
    QWidget *viewport = list->viewport();
    QScrollBar *vertical = list->verticalScrollBar();
    QScrollBar *horizontal = list->horizontalScrollBar();
    const QSize client = viewport->size();
    ASSERT_EQ(vertical->value(), 0);
    EXPECT_EQ(target.ScrollTimer->interval(), 100);
    EXPECT_FALSE(target.ScrollTimer->isActive());

    SendEnter(viewport, {client.width() / 2, client.height() / 2}, Qt::CopyAction, data.get());
    SendMove(viewport, {client.width() / 2, client.height() - 1}, Qt::CopyAction, data.get());
    ASSERT_TRUE(target.ScrollTimer->isActive());
    // Ticks driven directly: one single step down each.
    const int step = vertical->singleStep();
    target.AutoScroll();
    EXPECT_EQ(vertical->value(), step);
    target.AutoScroll();
    EXPECT_EQ(vertical->value(), 2 * step);
    EXPECT_EQ(horizontal->value(), 0);
    // The real timer goes on ticking while the cursor rests in the band.
    ASSERT_TRUE(QTest::qWaitFor([&] { return vertical->value() >= 4 * step; }, 5000));
    // Out of the band: the timer stops, nothing moves any more.
    SendMove(viewport, {client.width() / 2, client.height() / 2}, Qt::CopyAction, data.get());
    EXPECT_FALSE(target.ScrollTimer->isActive());
    // Top band scrolls up.
    SendMove(viewport, {client.width() / 2, 0}, Qt::CopyAction, data.get());
    EXPECT_TRUE(target.ScrollTimer->isActive());
    const int before = vertical->value();
    target.AutoScroll();
    EXPECT_EQ(vertical->value(), before - step);
    // Both axes are tested on each tick: a corner scrolls both ways.
    list->item(0)->setText(QString(300, QLatin1Char('x'))); // something to scroll horizontally
    QApplication::processEvents();
    ASSERT_TRUE(QTest::qWaitFor([&] { return horizontal->maximum() > 0; }));
    SendMove(viewport, {client.width() - 1, client.height() - 1}, Qt::CopyAction, data.get());
    const int v = vertical->value();
    target.AutoScroll();
    EXPECT_EQ(vertical->value(), v + step);
    EXPECT_EQ(horizontal->value(), std::min(horizontal->singleStep(), horizontal->maximum()));
    EXPECT_GT(horizontal->value(), 0);
    // Drop and leave stop the timer.
    Reply r = SendDrop(viewport, {client.width() - 1, client.height() - 1}, Qt::CopyAction, data.get());
    EXPECT_TRUE(r.accepted);
    EXPECT_FALSE(target.ScrollTimer->isActive());
    SendEnter(viewport, {1, 1}, Qt::CopyAction, data.get());
    SendMove(viewport, {1, 0}, Qt::CopyAction, data.get());
    EXPECT_TRUE(target.ScrollTimer->isActive());
    SendLeave(viewport);
    EXPECT_FALSE(target.ScrollTimer->isActive());
}

// ---------------------------------------------------------------------------------------------
// Data: file names, empty and foreign lists, GetDataOnEnter

TEST_F(DropTargetTest, ThreeFilesInSourceOrderAndListsClearedAfterDrop)
{
    TDropFileTarget target;
    target.Dragtypes = {dtCopy};
    Seen seen;
    seen.attach(target);
    target.RegisterTarget(field);
    const QStringList files = {"/data/pictures/zebra.bmp", "/data/a sound.wav", "/data/m\u00e9lange.gif"};
    auto data = FileData(files);
    SendEnter(field, {5, 5}, Qt::CopyAction | Qt::MoveAction, data.get());
    ASSERT_EQ(seen.enter.size(), 1u);
    EXPECT_TRUE(seen.enter[0].files.isEmpty()); // GetDataOnEnter is false: nothing read yet
    EXPECT_EQ(target.DataObject(), data.get());
    SendMove(field, {6, 5}, Qt::CopyAction | Qt::MoveAction, data.get());
    Reply r = SendDrop(field, {6, 5}, Qt::CopyAction | Qt::MoveAction, data.get());
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.action, Qt::CopyAction);
    ASSERT_EQ(seen.drop.size(), 1u);
    EXPECT_EQ(seen.drop[0].files, files);
    EXPECT_TRUE(target.DroppedFiles.isEmpty());
    EXPECT_TRUE(target.MappedFileNames.isEmpty());
    EXPECT_EQ(target.DataObject(), nullptr);
    EXPECT_EQ(field->text(), ""); // the field's own drop handling never ran
}

TEST_F(DropTargetTest, MixedListGivesOnlyTheLocalFilesInOrder)
{
    TDropFileTarget target;
    target.Dragtypes = {dtCopy};
    Seen seen;
    seen.attach(target);
    target.RegisterTarget(field);
    auto data = UrlData({"https://example.org/x.gif", "file:///tmp/b.wav", "ftp://h/y", "file:///tmp/a.bmp"});
    SendEnter(field, {5, 5}, Qt::CopyAction, data.get());
    SendDrop(field, {5, 5}, Qt::CopyAction, data.get());
    ASSERT_EQ(seen.drop.size(), 1u);
    EXPECT_EQ(seen.drop[0].files, (QStringList{"/tmp/b.wav", "/tmp/a.bmp"}));
}

TEST_F(DropTargetTest, EmptyOrNonFileListIsRefusedAtTheDrop)
{
    TDropFileTarget target;
    target.Dragtypes = {dtCopy};
    Seen seen;
    seen.attach(target);
    target.RegisterTarget(field);
    field->setText("unchanged");
    std::vector<std::unique_ptr<QMimeData>> cases;
    cases.push_back(FileData({}));
    cases.push_back(UrlData({"https://example.org/picture.gif", "mailto:someone@example.org"}));
    for (auto &data : cases) {
        seen.clear();
        data->setText("/tmp/as-text.bmp"); // a line edit would take this text
        SendEnter(field, {5, 5}, Qt::CopyAction, data.get());
        SendMove(field, {6, 5}, Qt::CopyAction, data.get());
        Reply r = SendDrop(field, {6, 5}, Qt::CopyAction, data.get());
        EXPECT_FALSE(r.accepted);
        EXPECT_EQ(r.action, Qt::IgnoreAction);
        EXPECT_TRUE(seen.drop.empty());
        EXPECT_TRUE(target.DroppedFiles.isEmpty());
        EXPECT_EQ(target.DataObject(), nullptr);
    }
    EXPECT_EQ(field->text(), "unchanged");
}

TEST_F(DropTargetTest, DataWithoutFileListIsRefusedFromEntryToDrop)
{
    TDropFileTarget target;
    target.Dragtypes = {dtCopy, dtMove, dtLink};
    Seen seen;
    seen.attach(target);
    target.RegisterTarget(field);
    field->setText("unchanged");
    QMimeData text;
    text.setText("/tmp/a.bmp");
    // Qt sees the enter accepted, so that the drag stays the target's and does not go on to
    // the parent widgets; the target itself holds nothing and raises no OnEnter.
    Reply r = SendEnter(field, {5, 5}, Qt::CopyAction, &text);
    EXPECT_TRUE(r.accepted);
    EXPECT_TRUE(seen.enter.empty()); // OnEnter is not raised
    EXPECT_EQ(target.DataObject(), nullptr);
    r = SendMove(field, {6, 5}, Qt::CopyAction, &text);
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(r.action, Qt::IgnoreAction);
    // Even a move carrying files now stays refused: the drag was refused on entry.
    auto files = FileData({"/tmp/a.bmp"});
    r = SendMove(field, {6, 5}, Qt::CopyAction, files.get());
    EXPECT_FALSE(r.accepted);
    EXPECT_TRUE(seen.over.empty());
    r = SendDrop(field, {6, 5}, Qt::CopyAction, files.get());
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(r.action, Qt::IgnoreAction);
    EXPECT_TRUE(seen.drop.empty());
    EXPECT_EQ(field->text(), "unchanged");
}

TEST_F(DropTargetTest, RefusedDragDoesNotGoOnToTheParent)
{
    // A parent that would take any drag: with the target registered on the field, a drag the
    // field refuses never reaches it.
    struct Taker : QObject {
        int events = 0;
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::DragEnter || e->type() == QEvent::DragMove || e->type() == QEvent::Drop) {
                ++events;
                e->accept();
                return true;
            }
            return false;
        }
    } taker;
    window->setAcceptDrops(true);
    window->installEventFilter(&taker);
    TDropFileTarget target;
    target.Dragtypes = {dtCopy};
    target.RegisterTarget(field);
    QMimeData text;
    text.setText("/tmp/a.bmp");
    SendEnter(field, {5, 5}, Qt::CopyAction, &text);
    Reply r = SendMove(field, {6, 5}, Qt::CopyAction, &text);
    EXPECT_FALSE(r.accepted);
    r = SendDrop(field, {6, 5}, Qt::CopyAction, &text);
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(taker.events, 0);
    window->removeEventFilter(&taker);
}

TEST_F(DropTargetTest, EffectNoneOnEntryCanChangeLaterInTheDrag)
{
    TDropFileTarget target;
    target.Dragtypes = {dtCopy};
    target.OnGetDropEffect = [](QObject *, TShiftState, QPoint p, TDropEffect &e) {
        if (p.x() < 50)
            e = DROPEFFECT_NONE;
    };
    Seen seen;
    seen.attach(target);
    target.RegisterTarget(field);
    auto data = FileData({"/tmp/a.bmp"});
    SendEnter(field, {5, 5}, Qt::CopyAction, data.get());
    Reply r = SendMove(field, {5, 5}, Qt::CopyAction, data.get());
    EXPECT_FALSE(r.accepted);
    r = SendMove(field, {60, 5}, Qt::CopyAction, data.get());
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.action, Qt::CopyAction);
    r = SendDrop(field, {60, 5}, Qt::CopyAction, data.get());
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(seen.drop.size(), 1u);
}

TEST_F(DropTargetTest, DropReadsTheDataHeldSinceEntry)
{
    TDropFileTarget target;
    target.Dragtypes = {dtCopy};
    Seen seen;
    seen.attach(target);
    target.RegisterTarget(field);
    auto held = FileData({"/tmp/held.bmp"});
    auto other = FileData({"/tmp/other.bmp"});
    SendEnter(field, {5, 5}, Qt::CopyAction, held.get());
    SendDrop(field, {5, 5}, Qt::CopyAction, other.get());
    ASSERT_EQ(seen.drop.size(), 1u);
    EXPECT_EQ(seen.drop[0].files, QStringList{"/tmp/held.bmp"});
}

TEST_F(DropTargetTest, GetDataOnEnterReadsOnEntryAndNotAgainAtTheDrop)
{
    TDropFileTarget target;
    target.Dragtypes = {dtCopy};
    target.GetDataOnEnter = true;
    Seen seen;
    seen.attach(target);
    target.RegisterTarget(field);
    auto data = FileData({"/tmp/1.bmp", "/tmp/2.bmp"});
    SendEnter(field, {5, 5}, Qt::CopyAction, data.get());
    ASSERT_EQ(seen.enter.size(), 1u);
    EXPECT_EQ(seen.enter[0].files, (QStringList{"/tmp/1.bmp", "/tmp/2.bmp"}));
    SendMove(field, {6, 5}, Qt::CopyAction, data.get());
    ASSERT_EQ(seen.over.size(), 1u);
    EXPECT_EQ(seen.over[0].files, (QStringList{"/tmp/1.bmp", "/tmp/2.bmp"}));
    data->setUrls({QUrl::fromLocalFile("/tmp/other.bmp")}); // not read again
    SendDrop(field, {6, 5}, Qt::CopyAction, data.get());
    ASSERT_EQ(seen.drop.size(), 1u);
    EXPECT_EQ(seen.drop[0].files, (QStringList{"/tmp/1.bmp", "/tmp/2.bmp"}));
    EXPECT_TRUE(target.DroppedFiles.isEmpty());

    // Nothing usable on entry: OnDrop is raised all the same, with empty lists.
    seen.clear();
    auto empty = FileData({});
    SendEnter(field, {5, 5}, Qt::CopyAction, empty.get());
    ASSERT_EQ(seen.enter.size(), 1u);
    EXPECT_TRUE(seen.enter[0].files.isEmpty());
    Reply r = SendDrop(field, {5, 5}, Qt::CopyAction, empty.get());
    ASSERT_EQ(seen.drop.size(), 1u);
    EXPECT_TRUE(seen.drop[0].files.isEmpty());
    EXPECT_TRUE(r.accepted);

    // A leave clears what was read.
    seen.clear();
    SendEnter(field, {5, 5}, Qt::CopyAction, data.get());
    EXPECT_EQ(target.DroppedFiles, QStringList{"/tmp/other.bmp"});
    SendLeave(field);
    EXPECT_EQ(seen.leaves, 1);
    EXPECT_TRUE(target.DroppedFiles.isEmpty());
    EXPECT_EQ(target.DataObject(), nullptr);
}

TEST_F(DropTargetTest, FailureInOnDropStillClearsAndReachesTheErrorBox)
{
    TDropFileTarget target;
    target.Dragtypes = {dtCopy};
    target.OnDrop = [](QObject *, TShiftState, QPoint, TDropEffect &) { throw Exception("Handler failed"); };
    target.RegisterTarget(field);
    auto data = FileData({"/tmp/a.bmp"});
    SendEnter(field, {5, 5}, Qt::CopyAction, data.get());
    SendDrop(field, {5, 5}, Qt::CopyAction, data.get());
    EXPECT_TRUE(target.DroppedFiles.isEmpty());
    EXPECT_EQ(target.DataObject(), nullptr);
    EXPECT_EQ(Scripted().texts(), std::vector<std::string>{"Handler failed."});
}

// ---------------------------------------------------------------------------------------------
// Registration

TEST_F(DropTargetTest, RegisterTargetSameControlNoneAndAnother)
{
    TDropFileTarget target;
    target.Dragtypes = {dtCopy};
    Seen seen;
    seen.attach(target);
    target.RegisterTarget(field);
    EXPECT_EQ(target.TargetControl(), field);
    EXPECT_EQ(RegisteredDropTarget(field), &target);
    EXPECT_TRUE(field->acceptDrops());
    EXPECT_EQ(target.RefCount(), 2); // the platform's reference
    target.RegisterTarget(field);     // the same control: nothing happens
    EXPECT_EQ(target.TargetControl(), field);
    EXPECT_EQ(target.RefCount(), 2);
    auto data = FileData({"/tmp/a.bmp"});
    SendEnter(field, {5, 5}, Qt::CopyAction, data.get());
    SendDrop(field, {5, 5}, Qt::CopyAction, data.get());
    EXPECT_EQ(seen.drop.size(), 1u); // one handler call: still registered once

    // Another control: the first is unregistered first.
    target.RegisterTarget(list);
    EXPECT_EQ(target.TargetControl(), list);
    EXPECT_EQ(RegisteredDropTarget(field), nullptr);
    EXPECT_FALSE(field->acceptDrops());
    EXPECT_EQ(RegisteredDropTarget(list), &target);
    EXPECT_EQ(target.RefCount(), 2);

    // None: unregisters and leaves none.
    target.RegisterTarget(nullptr);
    EXPECT_EQ(target.TargetControl(), nullptr);
    EXPECT_EQ(RegisteredDropTarget(list), nullptr);
    EXPECT_FALSE(list->acceptDrops());
    EXPECT_EQ(target.RefCount(), 1);
    target.RegisterTarget(nullptr); // again: nothing
    target.UnregisterTarget();      // none assigned: nothing
    EXPECT_EQ(target.TargetControl(), nullptr);

    // Unregistered, the field handles its drags itself again (here: none, acceptDrops is off)
    // and the component sees nothing.
    seen.clear();
    SendEnter(field, {5, 5}, Qt::CopyAction, data.get());
    SendDrop(field, {5, 5}, Qt::CopyAction, data.get());
    EXPECT_TRUE(seen.enter.empty());
    EXPECT_TRUE(seen.drop.empty());
}

TEST_F(DropTargetTest, RegistrationFailuresNameTheControl)
{
    TDropFileTarget first, second;
    first.RegisterTarget(field);
    try {
        second.RegisterTarget(field);
        FAIL() << "no failure";
    } catch (const Exception &e) {
        EXPECT_STREQ(e.what(), "Failed to Register T_Visual");
    }
    EXPECT_EQ(second.TargetControl(), field); // already set when the failure is raised
    EXPECT_EQ(RegisteredDropTarget(field), &first);
    EXPECT_EQ(second.RefCount(), 1);

    // The registration is gone from under the component: revoking fails, the control stays.
    ASSERT_EQ(RevokeDragDrop(field), S_OK);
    EXPECT_EQ(first.RefCount(), 1);
    try {
        first.UnregisterTarget();
        FAIL() << "no failure";
    } catch (const Exception &e) {
        EXPECT_STREQ(e.what(), "Failed to Unregister T_Visual");
    }
    EXPECT_EQ(first.TargetControl(), field);
    EXPECT_EQ(RevokeDragDrop(field), DRAGDROP_E_NOTREGISTERED);
    EXPECT_EQ(RegisterDragDrop(nullptr, &first), E_INVALIDARG);
    // A fresh registration of the same control succeeds again.
    TDropFileTarget third;
    third.RegisterTarget(field);
    EXPECT_EQ(RegisteredDropTarget(field), &third);
    third.UnregisterTarget();
}

TEST_F(DropTargetTest, NeverTouchesADestroyedControl)
{
    ShowWindow();
    auto *target = new TDropFileTarget(window.get());
    target->Dragtypes = {dtCopy};
    target->RegisterTarget(list);
    EXPECT_EQ(target->RefCount(), 2);
    auto data = FileData({"/tmp/a.bmp"});
    QWidget *viewport = list->viewport();
    SendEnter(viewport, {10, 10}, Qt::CopyAction, data.get());
    SendMove(viewport, {10, 0}, Qt::CopyAction, data.get());
    ASSERT_TRUE(target->ScrollTimer->isActive());
    delete list; // in the middle of a drag, with the timer running
    list = nullptr;
    EXPECT_EQ(target->TargetControl(), nullptr);
    EXPECT_FALSE(target->ScrollTimer->isActive());
    EXPECT_EQ(target->DataObject(), nullptr);
    EXPECT_EQ(target->RefCount(), 1); // the registration ended with the control
    target->AutoScroll();             // a stray tick touches nothing
    TDropEffect effect = DROPEFFECT_COPY;
    target->DragOver({}, QPoint(0, 0), effect);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    target->UnregisterTarget();       // nothing to revoke
    target->RegisterTarget(nullptr);
    target->RegisterTarget(field);    // can serve another control
    EXPECT_EQ(RegisteredDropTarget(field), target);
    delete target;                    // destruction unregisters
    EXPECT_EQ(RegisteredDropTarget(field), nullptr);
    EXPECT_FALSE(field->acceptDrops());

    // A component that outlives nothing: the owner's destruction deletes control and
    // component in either order without a crash.
    auto *other = new TDropFileTarget(window.get());
    other->RegisterTarget(field);
    window.reset();
}

// ---------------------------------------------------------------------------------------------

TEST(DropFileTargetClipboard, PasteFromClipboardReadsFilesAndPreferredEffect)
{
    TDropFileTarget target;
    QClipboard *clipboard = QGuiApplication::clipboard();
    auto text = new QMimeData;
    text->setText("x");
    clipboard->setMimeData(text);
    EXPECT_EQ(target.PasteFromClipboard(), DROPEFFECT_NONE);

    auto files = FileData({"/tmp/a.bmp", "/tmp/b.bmp"}).release();
    clipboard->setMimeData(files);
    EXPECT_EQ(target.PasteFromClipboard(), DROPEFFECT_COPY);
    EXPECT_EQ(target.DroppedFiles, (QStringList{"/tmp/a.bmp", "/tmp/b.bmp"}));

    auto cut = FileData({"/tmp/c.bmp"}).release();
    cut->setData("x-special/gnome-copied-files", "cut\nfile:///tmp/c.bmp");
    clipboard->setMimeData(cut);
    EXPECT_EQ(target.PasteFromClipboard(), DROPEFFECT_MOVE);
    EXPECT_EQ(target.DroppedFiles, QStringList{"/tmp/c.bmp"});

    auto foreign = UrlData({"https://example.org/"}).release();
    clipboard->setMimeData(foreign);
    EXPECT_EQ(target.PasteFromClipboard(), DROPEFFECT_NONE);
    clipboard->clear();
}

// The use the main window makes of the component, as a pattern for it.
TEST(DropFileTargetUse, TwoFieldsAsOnTheEditPage)
{
    QWidget form;
    auto *T_word = new QLineEdit(&form);
    T_word->setObjectName("T_word");
    T_word->setAcceptDrops(false); // a field without a drop target accepts no drops at all
    auto *T_Visual = new QLineEdit(&form);
    T_Visual->setObjectName("T_Visual");
    auto *T_Audio = new QLineEdit(&form);
    T_Audio->setObjectName("T_Audio");

    auto *DropFileTarget1 = new TDropFileTarget(&form);
    DropFileTarget1->SetName("DropFileTarget1");
    DropFileTarget1->Dragtypes = {dtCopy};
    DropFileTarget1->OnDrop = [&](QObject *, TShiftState, QPoint, TDropEffect &) {
        T_Visual->setText(DropFileTarget1->DroppedFiles.at(0));
    };
    auto *DropFileTarget2 = new TDropFileTarget(&form);
    DropFileTarget2->SetName("DropFileTarget2");
    DropFileTarget2->Dragtypes = {dtCopy};
    DropFileTarget2->OnDrop = [&](QObject *Sender, TShiftState, QPoint, TDropEffect &) {
        T_Audio->setText(static_cast<TDropFileTarget *>(Sender)->DroppedFiles.at(0));
    };
    DropFileTarget1->RegisterTarget(T_Visual); // end of the creation step
    DropFileTarget2->RegisterTarget(T_Audio);

    auto data = FileData({"/p/one.bmp", "/p/two.bmp", "/p/three.bmp"});
    data->setText("/p/one.bmp\n/p/two.bmp\n/p/three.bmp"); // as file managers also offer
    const Qt::DropActions copyMove = Qt::CopyAction | Qt::MoveAction;
    SendEnter(T_Visual, {3, 3}, copyMove, data.get(), Qt::ShiftModifier);
    SendMove(T_Visual, {4, 3}, copyMove, data.get(), Qt::ShiftModifier);
    Reply r = SendDrop(T_Visual, {4, 3}, copyMove, data.get(), Qt::ShiftModifier);
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.action, Qt::CopyAction); // Shift held: still a copy
    EXPECT_EQ(T_Visual->text(), "/p/one.bmp");
    EXPECT_EQ(T_Audio->text(), "");

    r = SendEnter(T_word, {3, 3}, copyMove, data.get());
    EXPECT_FALSE(r.accepted);
    r = SendDrop(T_word, {3, 3}, copyMove, data.get());
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(T_word->text(), "");

    SendEnter(T_Audio, {3, 3}, copyMove, data.get());
    SendDrop(T_Audio, {3, 3}, copyMove, data.get());
    EXPECT_EQ(T_Audio->text(), "/p/one.bmp");

    DropFileTarget1->UnregisterTarget(); // end of the close step
    DropFileTarget2->UnregisterTarget();
    EXPECT_FALSE(T_Visual->acceptDrops());
    EXPECT_FALSE(T_Audio->acceptDrops());
}

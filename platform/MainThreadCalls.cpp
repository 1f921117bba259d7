#include "platform/MainThreadCalls.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <chrono>

namespace {
const QEvent::Type DrainEvent = QEvent::Type(QEvent::User + 0x6C1);

std::mutex instanceLock;
TMainThreadCalls *instance = nullptr;
} // namespace

struct TMainThreadCalls::Call {
    std::function<void()> function;
    std::exception_ptr failure;
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;   // ran, or abandoned
    bool ran = false;
};

TMainThreadCalls::TMainThreadCalls() = default;

TMainThreadCalls::~TMainThreadCalls()
{
    {
        std::lock_guard<std::mutex> guard(instanceLock);
        if (instance == this)
            instance = nullptr;
    }
    Shutdown();
}

TMainThreadCalls *TMainThreadCalls::Instance()
{
    std::lock_guard<std::mutex> guard(instanceLock);
    if (!instance) {
        QCoreApplication *app = QCoreApplication::instance();
        if (!app || QThread::currentThread() != app->thread() || QCoreApplication::closingDown())
            return nullptr;
        // Owned by the application object: it goes when the application goes.
        instance = new TMainThreadCalls;
        instance->setParent(app);
    }
    return instance;
}

bool TMainThreadCalls::Run(const std::function<void()> &function)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread()) {
        function();
        return true;
    }
    auto call = std::make_shared<Call>();
    call->function = function;
    {
        std::lock_guard<std::mutex> guard(instanceLock);
        if (!instance || !instance->Enqueue(call))
            return false;
    }
    // The call keeps its own lock, so the wait does not depend on the queue living on:
    // Shutdown finishes every waiting call.
    std::unique_lock<std::mutex> wait(call->lock);
    call->done.wait(wait, [&] { return call->finished; });
    if (call->failure)
        std::rethrow_exception(call->failure);
    return call->ran;
}

bool TMainThreadCalls::Enqueue(const std::shared_ptr<Call> &call)
{
    std::lock_guard<std::mutex> guard(lock);
    if (shutDown)
        return false;
    waiting.push_back(call);
    arrived.notify_all();
    if (!drainPosted) {
        drainPosted = true;
        QCoreApplication::postEvent(this, new QEvent(DrainEvent));
    }
    return true;
}

void TMainThreadCalls::Finish(Call &call, bool ran)
{
    {
        std::lock_guard<std::mutex> guard(call.lock);
        call.ran = ran;
        call.finished = true;
    }
    call.done.notify_all();
}

int TMainThreadCalls::Drain()
{
    int count = 0;
    for (;;) {
        std::shared_ptr<Call> call;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (waiting.empty())
                break;
            call = waiting.front();
            waiting.pop_front();
        }
        ++depth;
        try {
            call->function();
        } catch (...) {
            call->failure = std::current_exception();
        }
        --depth;
        Finish(*call, true);
        ++count;
    }
    return count;
}

bool TMainThreadCalls::WaitUntil(const std::function<bool()> &done)
{
    for (;;) {
        unsigned seen;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (shutDown)
                return false;
            seen = wakeups;
        }
        Drain();
        if (done())
            return true;
        if (QCoreApplication::closingDown())
            return false;
        std::unique_lock<std::mutex> wait(lock);
        // The time-out only guards against a condition that changed without a Wake.
        arrived.wait_for(wait, std::chrono::milliseconds(20),
                         [&] { return !waiting.empty() || wakeups != seen || shutDown; });
    }
}

void TMainThreadCalls::Wake()
{
    std::lock_guard<std::mutex> guard(lock);
    ++wakeups;
    arrived.notify_all();
}

bool TMainThreadCalls::event(QEvent *event)
{
    if (event->type() != DrainEvent)
        return QObject::event(event);
    {
        std::lock_guard<std::mutex> guard(lock);
        drainPosted = false;
    }
    Drain();
    return true;
}

void TMainThreadCalls::Shutdown()
{
    std::deque<std::shared_ptr<Call>> abandoned;
    {
        std::lock_guard<std::mutex> guard(lock);
        shutDown = true;
        abandoned.swap(waiting);
        arrived.notify_all();
    }
    for (const auto &call : abandoned)
        Finish(*call, false);
}

#pragma once
// Calls handed from worker threads to the main thread. A worker hands a call over and waits
// until the main thread has run it; the main thread runs the waiting calls from a posted event,
// or at once while it waits for a worker itself (WaitUntil), so that a worker waiting for its
// call can always finish.
#include <QObject>

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

class TMainThreadCalls : public QObject {
public:
    // The queue of the application object, made on first use from the main thread; none
    // before the application object exists, after it is gone, or when first asked from another
    // thread.
    static TMainThreadCalls *Instance();

    // Runs call on the main thread and returns when it has run, rethrowing what it threw. On
    // the main thread the call runs at once. Returns false, without running the call, when
    // there is no queue or the queue shut down while the call waited.
    static bool Run(const std::function<void()> &call);

    // Main thread: runs the calls waiting now. Returns how many ran.
    int Drain();

    // Main thread: runs waiting calls until done() holds, sleeping between checks until a call
    // arrives or Wake() is called. Returns false, without waiting on, when the application is
    // closing down.
    bool WaitUntil(const std::function<bool()> &done);

    // Wakes WaitUntil to look at its condition again.
    void Wake();

    // True while the main thread is running a handed-over call.
    bool RunningCall() const { return depth > 0; }

    ~TMainThreadCalls() override;

protected:
    bool event(QEvent *event) override;

private:
    TMainThreadCalls();
    struct Call;
    bool Enqueue(const std::shared_ptr<Call> &call);
    static void Finish(Call &call, bool ran);
    void Shutdown();

    std::mutex lock;
    std::condition_variable arrived;   // a call arrived, or Wake
    std::deque<std::shared_ptr<Call>> waiting;
    bool drainPosted = false;
    bool shutDown = false;
    unsigned wakeups = 0;
    int depth = 0;
};

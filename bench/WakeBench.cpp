#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QSocketNotifier>

#include <atomic>
#include <functional>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

// How fast a thread that stands in for JACK's cycle wakes the GUI thread: straight through an eventfd
// that a QSocketNotifier watches, or through a worker thread that waits on the eventfd and posts an
// event. Each wake is answered through a second eventfd before the next, as a reply to a request is.

namespace {

constexpr int WakesPerIteration = 500;

struct PingPong
{
    PingPong()
        : wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
        , answer(eventfd(0, EFD_CLOEXEC))
    {
    }
    ~PingPong()
    {
        ::close(wake);
        ::close(answer);
    }

    // The cycle's side: wakes, then waits for the answer, `count` times.
    void cycle(int count)
    {
        for (int i = 0; i < count; ++i) {
            eventfd_write(wake, 1);
            eventfd_t value;
            eventfd_read(answer, &value);
        }
    }

    // The GUI's side of one wake; leaves the loop after the last.
    void taken(QEventLoop &loop)
    {
        eventfd_write(answer, 1);
        if (++wakes == WakesPerIteration)
            loop.quit();
    }

    int wake;
    int answer;
    int wakes = 0;
};

class Posted : public QObject
{
public:
    explicit Posted(std::function<void()> onEvent)
        : onEvent(std::move(onEvent))
    {
    }
    bool event(QEvent *) override
    {
        onEvent();
        return true;
    }
    std::function<void()> onEvent;
};

void BM_WakeThroughSocketNotifier(benchmark::State &state)
{
    for (auto _ : state) {
        PingPong pingPong;
        QEventLoop loop;
        QSocketNotifier notifier(pingPong.wake, QSocketNotifier::Read);
        QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
            eventfd_t value;
            if (eventfd_read(pingPong.wake, &value) == 0)
                pingPong.taken(loop);
        });
        std::thread cycle(&PingPong::cycle, &pingPong, WakesPerIteration);
        loop.exec();
        cycle.join();
    }
    state.SetItemsProcessed(state.iterations() * WakesPerIteration);
}
BENCHMARK(BM_WakeThroughSocketNotifier)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WakeThroughWorkerThread(benchmark::State &state)
{
    for (auto _ : state) {
        PingPong pingPong;
        QEventLoop loop;
        Posted receiver([&] { pingPong.taken(loop); });
        std::atomic<bool> stopping{false};
        const int blocking = eventfd(0, EFD_CLOEXEC);
        std::thread worker([&] {
            eventfd_t value;
            while (eventfd_read(blocking, &value) == 0 && !stopping)
                QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
        });
        std::thread cycle([&] {
            for (int i = 0; i < WakesPerIteration; ++i) {
                eventfd_write(blocking, 1);
                eventfd_t value;
                eventfd_read(pingPong.answer, &value);
            }
        });
        loop.exec();
        cycle.join();
        stopping = true;
        eventfd_write(blocking, 1);
        worker.join();
        ::close(blocking);
    }
    state.SetItemsProcessed(state.iterations() * WakesPerIteration);
}
BENCHMARK(BM_WakeThroughWorkerThread)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

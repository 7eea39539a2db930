#pragma once
// Timing of the program's start, for the benchmark: with the environment variable
// EXAVORO_STARTUP_PROBE set, the moment the first window has been painted is written to standard
// output (nanoseconds of the monotonic clock, which the benchmark also reads before starting the
// program) and the program ends at once. Without the variable nothing is installed.
//
// Header only and built on Qt alone, so that the benchmark's bare Qt program marks the same moment
// in the same way.
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <utility>

namespace app {

inline long long monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

inline bool startupProbeWanted()
{
    return !qEnvironmentVariableIsEmpty("EXAVORO_STARTUP_PROBE");
}

// Runs `then` once `window` has been painted for the first time, on the next turn of the event
// loop (so after that paint has been handled).
class FirstPaint : public QObject {
public:
    FirstPaint(QWidget* window, std::function<void()> then) : QObject(window), then_(std::move(then))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (then_ && watched == parent() && event->type() == QEvent::Paint) {
            QTimer::singleShot(0, this, std::exchange(then_, nullptr));
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> then_;
};

inline void afterFirstPaint(QWidget* window, std::function<void()> then)
{
    new FirstPaint(window, std::move(then));
}

// Installs the probe on `window` when EXAVORO_STARTUP_PROBE is set: the time is taken once its
// first paint has been handled, then the process exits without tearing anything down.
inline void probeStartup(QWidget* window)
{
    if (!startupProbeWanted()) return;
    afterFirstPaint(window, [] {
        std::printf("%lld\n", monotonicNanoseconds());
        std::fflush(stdout);
        std::_Exit(0);
    });
}

}  // namespace app

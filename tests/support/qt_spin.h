#pragma once
// Runs a Qt test's event loop until a condition holds, for the tests that
// must see real Qt timers fire.

#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <functional>

namespace velmora::testing {

// Runs the event loop until done() holds; the guard only keeps a broken
// build from hanging, it decides nothing.
inline bool spinUntil(const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    poll.start(1);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

} // namespace velmora::testing

#pragma once

#include <time.h>

#include <cstdio>

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

// Watches a widget for its first paint. Once the event loop turns after it (by then the painted
// window has been handed to the display), prints the CLOCK_MONOTONIC time in nanoseconds on
// standard output and ends the event loop.
class ReportFirstPaint : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && !m_seen) {
      m_seen = true;
      QTimer::singleShot(0, qApp, [] {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        std::printf("%lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
        std::fflush(stdout);
        QCoreApplication::quit();
      });
    }
    return false;
  }

 private:
  bool m_seen = false;
};

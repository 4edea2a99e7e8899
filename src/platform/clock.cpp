#include "platform/clock.h"

#include <QCoreApplication>
#include <chrono>

namespace platform {
int64_t TickMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
void ProcessEvents() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}
} // namespace platform

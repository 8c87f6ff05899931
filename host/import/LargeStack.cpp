#include "host/import/LargeStack.h"

#include <pthread.h>

#include <exception>

namespace host {
namespace {

struct Call {
    const std::function<void()>* f;
    std::exception_ptr thrown;
};

void* Run(void* arg) {
    Call* call = static_cast<Call*>(arg);
    try {
        (*call->f)();
    } catch (...) {
        call->thrown = std::current_exception();
    }
    return nullptr;
}

} // namespace

void RunOnLargeStack(const std::function<void()>& f) {
    Call call{&f, nullptr};
    pthread_attr_t attr;
    bool started = false;
    pthread_t thread;
    if (pthread_attr_init(&attr) == 0) {
        started = pthread_attr_setstacksize(&attr, kLoadStackBytes) == 0 &&
                  pthread_create(&thread, &attr, Run, &call) == 0;
        pthread_attr_destroy(&attr);
    }
    if (!started) {
        f();
        return;
    }
    pthread_join(thread, nullptr);
    if (call.thrown) {
        std::rethrow_exception(call.thrown);
    }
}

} // namespace host

#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace Tessarine::Lamino {

// A thread of its own that runs the jobs given to run() one at a time and waits for each, the
// way a host's render thread takes one command after another. Exceptions of a job are passed
// back to the caller of run(). The thread ends with the object.
class TestThread {
public:
    TestThread();
    ~TestThread();

    TestThread(const TestThread&) = delete;
    TestThread& operator=(const TestThread&) = delete;

    void run(const std::function<void()>& job);
    std::thread::id id() const { return thread.get_id(); }
    unsigned long nativeId() const { return windowsId; }

private:
    void loop();

    std::mutex mutex;
    std::condition_variable changed;
    std::function<void()> pending;
    std::exception_ptr failure;
    bool busy = false;
    bool done = false;
    unsigned long windowsId = 0;
    std::thread thread;
};

} // namespace Tessarine::Lamino

#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace trawlex {

// The helper threads a walk reads and matches files on. The thread that takes the results works
// too whenever its next result is not ready, so one helper per further core keeps every core
// busy.
inline unsigned DefaultWorkerCount() {
    return std::max(1U, std::thread::hardware_concurrency()) - 1;
}

// Works on tasks on the taking thread and a few helpers and hands the results back strictly in
// the order the tasks were submitted, so that a parallel walk writes exactly the report of a
// sequential one. Each thread owns a State (a reusable read buffer) for all its tasks. Without
// helpers every task runs on the taking thread, in order, just before its result is taken.
template <typename Task, typename Output, typename State>
class OrderedPool {
public:
    using Work = std::function<Output(Task&, State&)>;

    OrderedPool(unsigned helpers, Work work) : work_(std::move(work)) {
        for (unsigned index = 0; index < helpers; ++index) {
            threads_.emplace_back([this] { RunHelper(); });
        }
    }

    OrderedPool(const OrderedPool&) = delete;
    OrderedPool& operator=(const OrderedPool&) = delete;

    // Tasks not yet started are dropped; those running are finished.
    ~OrderedPool() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
            pending_.clear();
        }
        taskReady_.notify_all();
        for (std::thread& thread : threads_) {
            thread.join();
        }
    }

    void Submit(Task task) {
        bool wake = false;
        {
            const std::lock_guard lock(mutex_);
            pending_.push_back({submitted_++, std::move(task)});
            wake = idleHelpers_ > 0;
        }
        if (wake) {
            taskReady_.notify_one();
        }
    }

    // Results not yet taken, whether or not they are ready.
    std::size_t InFlight() const { return submitted_ - taken_; }

    // The result of the oldest task not yet taken. While it is not ready, this thread works on
    // the next waiting task instead of sleeping.
    Output TakeNext() {
        std::unique_lock lock(mutex_);
        while (done_.count(taken_) == 0) {
            if (!pending_.empty()) {
                Numbered next = std::move(pending_.front());
                pending_.pop_front();
                lock.unlock();
                Output output = work_(next.task, ownState_);
                lock.lock();
                done_.emplace(next.sequence, std::move(output));
                continue;
            }
            consumerWaiting_ = true;
            resultReady_.wait(lock, [this] { return done_.count(taken_) != 0; });
            consumerWaiting_ = false;
        }
        auto found = done_.find(taken_);
        Output output = std::move(found->second);
        done_.erase(found);
        ++taken_;
        return output;
    }

    // Drops the tasks not yet started, waits for those running and hands back, in order, every
    // result not yet taken: work that was done, such as a file rewritten, is never lost from
    // the count.
    std::vector<Output> FinishStarted() {
        std::unique_lock lock(mutex_);
        dropped_ += pending_.size();
        pending_.clear();
        resultAwaited_ = true;
        resultReady_.wait(lock, [this] { return done_.size() == submitted_ - taken_ - dropped_; });
        resultAwaited_ = false;
        std::vector<Output> outputs;
        for (auto& [sequence, output] : done_) {
            outputs.push_back(std::move(output));
        }
        taken_ += done_.size();
        done_.clear();
        return outputs;
    }

private:
    struct Numbered {
        std::size_t sequence;
        Task task;
    };

    void RunHelper() {
        State state;
        std::unique_lock lock(mutex_);
        while (true) {
            if (pending_.empty() && !stopping_) {
                ++idleHelpers_;
                taskReady_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
                --idleHelpers_;
            }
            if (stopping_) {
                return;
            }
            Numbered next = std::move(pending_.front());
            pending_.pop_front();
            lock.unlock();
            Output output = work_(next.task, state);
            lock.lock();
            const bool awaited = next.sequence == taken_ || resultAwaited_;
            done_.emplace(next.sequence, std::move(output));
            if (awaited && (consumerWaiting_ || resultAwaited_)) {
                resultReady_.notify_one();
            }
        }
    }

    Work work_;
    std::mutex mutex_;
    std::condition_variable taskReady_;
    std::condition_variable resultReady_;
    std::deque<Numbered> pending_;
    std::map<std::size_t, Output> done_;
    std::size_t submitted_ = 0;
    std::size_t taken_ = 0;
    std::size_t dropped_ = 0;
    bool stopping_ = false;
    bool resultAwaited_ = false;  // FinishStarted waits for every running task
    bool consumerWaiting_ = false;
    unsigned idleHelpers_ = 0;
    State ownState_;
    std::vector<std::thread> threads_;  // last, so the helpers start when all else stands
};

// Feeds tasks to the pool, keeping at most `window` of them ahead of the taker, and hands each
// result to `consume` in submission order. `next` fills in the next task and answers false at
// the end; `consume` answers false to stop. After a stop, the results of tasks that had started
// go to `settle`. Returns false when it was stopped.
template <typename Task, typename Output, typename State, typename Next, typename Consume,
          typename Settle>
bool RunInOrder(OrderedPool<Task, Output, State>& pool, std::size_t window, Next next,
                Consume consume, Settle settle) {
    Task task{};
    bool more = true;
    while (true) {
        while (more && pool.InFlight() < window) {
            more = next(task);
            if (more) {
                pool.Submit(std::move(task));
            }
        }
        if (pool.InFlight() == 0) {
            return true;
        }
        if (!consume(pool.TakeNext())) {
            for (Output& output : pool.FinishStarted()) {
                settle(std::move(output));
            }
            return false;
        }
    }
}

}  // namespace trawlex

#pragma once

#include "common/Run.h"
#include "common/files/OrderedPool.h"
#include "common/files/TreeWalk.h"

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <span>
#include <vector>

namespace trawlex {

// Where a run's results go: the report, the preview page, the window's table, the command
// line's progress line, a test. Each answers whether the run goes on.
template <typename Item>
class Sink {
public:
    virtual ~Sink() = default;
    virtual Flow Take(const Item& item) = 0;
};

// Hands an item to every sink, also after one of them asked to stop, so that the report and
// the window end with the same file; Stop when any of them asked for it.
template <typename Item>
Flow TellAll(std::initializer_list<Sink<Item>*> sinks, const Item& item) {
    Flow flow = Flow::Continue;
    for (Sink<Item>* sink : sinks) {
        if (sink != nullptr && sink->Take(item) == Flow::Stop) {
            flow = Flow::Stop;
        }
    }
    return flow;
}

// What a run does with each file of its walk. Everything but `work` runs on the walking thread.
template <typename Task, typename Output, typename State>
struct FileStages {
    // What the worker needs to know of a walked file; false leaves the file out.
    std::function<bool(WalkedFile& file, Task& task)> prepare;
    // One file, on the ordered pool; each thread keeps its State (buffers) from file to file.
    std::function<Output(const Task& task, State& state)> work;
    // Each file's output, in walk order; the answer of the sinks it told.
    std::function<Flow(Output output)> take;
    // After a stop, the outputs of the files already begun, in walk order: work that was done,
    // such as a file rewritten, is never lost from the count.
    std::function<void(Output output)> settle = [](Output) {};
    // Files read ahead of the one taken: enough to keep every worker busy, few enough that a
    // stop leaves little done beyond the file the person saw last.
    std::size_t ahead = 0;
    unsigned workers = DefaultWorkerCount();
};

// The one walk every run goes: the walk's files are worked on in parallel and taken strictly
// in walk order, so that a parallel run writes exactly the report of a sequential one.
template <typename Task, typename Output, typename State>
Flow DriveWalk(TreeWalk& walk, const FileStages<Task, Output, State>& stages) {
    OrderedPool<Task, Output, State> pool(stages.workers, stages.work);
    WalkedFile file;
    const bool finished = RunInOrder(
        pool, stages.ahead,
        [&walk, &file, &stages](Task& task) {
            while (walk.Next(file)) {
                if (stages.prepare(file, task)) {
                    return true;
                }
            }
            return false;
        },
        [&stages](Output output) { return stages.take(std::move(output)) == Flow::Continue; },
        [&stages](Output output) { stages.settle(std::move(output)); });
    return finished ? Flow::Continue : Flow::Stop;
}

// What a run does with files handed to its workers a few at a time, for work that costs less
// for several files together than for each alone (reading them with fewer system calls).
template <typename Output, typename State>
struct BatchStages {
    // Up to `batch` files in walk order, on the ordered pool; one output for each.
    // The files are the work's to take from, such as their paths.
    std::function<std::vector<Output>(std::span<WalkedFile> files, State& state)> work;
    // Each file's output, in walk order, as with DriveWalk.
    std::function<Flow(Output output)> take;
    std::size_t batch = 1;
    std::size_t ahead = 0;  // in files, as with DriveWalk
    unsigned workers = DefaultWorkerCount();
};

// The same walk with its files worked on in batches. Only a search goes this way: what was
// worked on beyond a stop is thrown away, since it changed nothing.
template <typename Output, typename State>
Flow DriveWalkInBatches(TreeWalk& walk, const BatchStages<Output, State>& stages) {
    using Files = std::vector<WalkedFile>;
    using Outputs = std::vector<Output>;
    OrderedPool<Files, Outputs, State> pool(stages.workers, [&stages](Files& files, State& state) {
        return stages.work(files, state);
    });
    WalkedFile file;
    const bool finished = RunInOrder(
        pool, std::max<std::size_t>(1, stages.ahead / stages.batch),
        [&walk, &file, &stages](Files& files) {
            files.clear();
            while (files.size() < stages.batch && walk.Next(file)) {
                files.push_back(std::move(file));
            }
            return !files.empty();
        },
        [&stages](Outputs outputs) {
            for (Output& output : outputs) {
                if (stages.take(std::move(output)) == Flow::Stop) {
                    return false;
                }
            }
            return true;
        },
        [](Outputs) {});
    return finished ? Flow::Continue : Flow::Stop;
}

}  // namespace trawlex

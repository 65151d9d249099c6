#include "batch/runner.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "batch/label_text.h"

namespace batch {

namespace {

FileResult guarded(const FileTask& task, const std::string& file, reader::ReadBuffers& buffers) {
    try {
        return task(file, buffers);
    } catch (const std::bad_alloc&) {
        FileResult r;
        r.error = "not enough memory";
        return r;
    } catch (const std::exception& e) {
        FileResult r;
        r.error = std::string("internal error: ") + e.what();
        return r;
    } catch (...) {
        FileResult r;
        r.error = "internal error";
        return r;
    }
}

}  // namespace

Progress::Progress(bool on, std::size_t total, std::ostream& err)
    : on_(on), total_(total), err_(err), start_(std::chrono::steady_clock::now()) {}

void Progress::show(std::size_t done) {
    if (!on_) return;
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    constexpr std::size_t kWidth = 30;
    const std::size_t filled = total_ > 0 ? done * kWidth / total_ : kWidth;
    err_ << fmt::format("\r[{}{}] {}/{} files  {:.1f} s  {:.1f} files/s\x1b[K",
                        std::string(filled, '#'), std::string(kWidth - filled, '-'), done, total_,
                        s, s > 0 ? static_cast<double>(done) / s : 0.0)
         << std::flush;
    shown_ = true;
}

void Progress::clear() {
    if (on_ && shown_) err_ << "\r\x1b[K" << std::flush;
    shown_ = false;
}

std::size_t worker_count(std::int32_t jobs, std::size_t n) {
    const auto threads = static_cast<std::size_t>(std::max<std::int32_t>(jobs, 1));
    return std::max<std::size_t>(1, std::min(threads, n));
}

void run_each(std::int32_t jobs, std::size_t n, const std::function<void(std::size_t)>& work,
              const std::function<void(std::size_t)>& ready, Progress& progress) {
    run_each(
        jobs, n, [&](std::size_t i, std::size_t) { work(i); }, ready, progress);
}

void run_each(std::int32_t jobs, std::size_t n,
              const std::function<void(std::size_t item, std::size_t worker)>& work,
              const std::function<void(std::size_t)>& ready, Progress& progress) {
    const std::size_t nthreads = std::min(worker_count(jobs, n), n);
    if (nthreads <= 1) {
        // Everything on this thread, each ready as it goes.
        for (std::size_t i = 0; i < n; ++i) {
            work(i, 0);
            if (ready) ready(i);
            progress.show(i + 1);
        }
        return;
    }
    std::vector<char> done(n, 0);
    std::mutex mutex;
    std::condition_variable cv;
    std::atomic<std::size_t> next{0};
    std::size_t finished = 0;
    const auto worker = [&](std::size_t w) {
        for (;;) {
            const std::size_t i = next.fetch_add(1);
            if (i >= n) return;
            work(i, w);
            {
                const std::lock_guard lock(mutex);
                done[i] = 1;
                ++finished;
            }
            cv.notify_all();
        }
    };
    std::vector<std::jthread> pool;
    for (std::size_t t = 0; t < nthreads; ++t) pool.emplace_back(worker, t);
    std::size_t reported = 0;
    std::unique_lock lock(mutex);
    while (reported < n) {
        cv.wait_for(lock, std::chrono::milliseconds(200), [&] { return done[reported] != 0; });
        lock.unlock();
        while (reported < n) {
            {
                const std::lock_guard peek(mutex);
                if (done[reported] == 0) break;
            }
            if (ready) ready(reported);
            ++reported;
        }
        // The count after the ready calls: all of them once every work is in.
        lock.lock();
        progress.show(finished);
    }
}

void run_on_threads(std::size_t n, const std::function<void()>& work) {
    std::vector<std::thread> pool;
    for (std::size_t w = 1; w < n; ++w) {
        // Too few threads to be had: the rest is done on this one.
        try {
            pool.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    work();
    for (std::thread& th : pool) th.join();
}

std::size_t run_files(const RunOptions& options, const std::vector<std::string>& files,
                      const FileTask& task, std::vector<FileResult>& results, std::ostream& err) {
    const std::size_t total = files.size();
    results.assign(total, {});
    Progress progress(options.progress, total, err);
    std::size_t failed = 0;
    const auto report = [&](std::size_t i) {
        const FileResult& r = results[i];
        const std::string prefix = "pektor " + options.command + ": " + files[i] + ": ";
        const bool warn = options.warnings && !r.warnings.empty();
        if (warn || !r.ok) progress.clear();
        if (warn) {
            for (const std::string& w : r.warnings) err << printable(prefix + w) << '\n';
        }
        if (!r.ok) {
            err << printable(prefix + r.error) << '\n';
            ++failed;
        }
    };
    // The read buffers of each thread, kept from one file to the next.
    std::vector<reader::ReadBuffers> buffers(worker_count(options.jobs, total));
    run_each(
        options.jobs, total,
        [&](std::size_t i, std::size_t w) { results[i] = guarded(task, files[i], buffers[w]); },
        report, progress);
    progress.clear();
    return failed;
}

}  // namespace batch

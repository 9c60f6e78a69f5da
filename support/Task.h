#pragma once
// A step-by-step command: a coroutine that runs at once, up to its first wait, and is resumed by
// the event loop (a timer, bytes arriving) when the wait is over. The thread never sleeps in it
// and no event loop runs inside it, so the windows go on taking input between its steps.
//
//   Task<Result> Commands::saveParameters()
//   {
//       send(...);
//       co_await clock.pause(100);   // the event loop runs meanwhile
//       co_return Result::Done;
//   }
//
// The caller either awaits it (co_await, inside another step-by-step command), hands it a
// continuation (then), or lets it go: a task nobody holds runs to its end and frees itself.
// Parameters are taken by value: a reference would outlive what it refers to across a wait.
//
// A command whose owner goes while it waits is abandoned (Clock::abandonWaits, called by the
// owner on its way out): it is never resumed, its continuation is never called, and its frames,
// with those of the commands awaiting it, are freed at once, or when its holder lets it go.

#ifndef Q_MOC_RUN // moc reads no further: it needs nothing of this, and cannot parse <concepts>
#include <coroutine>
#include <exception>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

template <typename T = void>
class Task;

namespace TaskDetail {

template <typename T>
struct Value {
    std::optional<T> value;
    std::function<void(T)> continuation;
    void return_value(T v) { value = std::move(v); }
    void callContinuation()
    {
        if (continuation)
            std::exchange(continuation, nullptr)(std::move(*value));
    }
};

template <>
struct Value<void> {
    std::function<void()> continuation;
    void return_void() {}
    void callContinuation()
    {
        if (continuation)
            std::exchange(continuation, nullptr)();
    }
};

// A command's frame among the others: who awaits it, and whether anyone holds it.
struct Frame {
    std::coroutine_handle<> self;
    std::coroutine_handle<> awaiting; // the command that awaits this one
    Frame *awaiter = nullptr;         // its frame
    bool done = false;
    bool released = false;  // nobody holds the task: the frame frees itself at the end
    bool abandoned = false; // never resumed again: freed when its holder lets it go

    // Abandons the command this waiting frame belongs to, with every command awaiting it: the
    // outermost one is freed now (freeing those it awaits) if nobody holds it, else when its
    // holder lets it go.
    static void abandon(Frame *waiting)
    {
        Frame *outermost = waiting;
        while (outermost->awaiter)
            outermost = outermost->awaiter;
        if (outermost->released)
            outermost->self.destroy();
        else
            outermost->abandoned = true;
    }
};

template <typename T>
struct Promise : Value<T>, Frame {
    Task<T> get_return_object();
    std::suspend_never initial_suspend() noexcept { return {}; }
    struct Final {
        bool await_ready() noexcept { return false; }
        std::coroutine_handle<> await_suspend(std::coroutine_handle<Promise> h) noexcept
        {
            Promise &p = h.promise();
            p.done = true;
            const std::coroutine_handle<> next = p.awaiting;
            if (p.released) {
                p.callContinuation();
                h.destroy();
            }
            return next ? next : std::noop_coroutine();
        }
        void await_resume() noexcept {}
    };
    Final final_suspend() noexcept { return {}; }
    void unhandled_exception() noexcept { std::terminate(); }
};

} // namespace TaskDetail

template <typename T>
class [[nodiscard]] Task {
public:
    using promise_type = TaskDetail::Promise<T>;
    using Handle = std::coroutine_handle<promise_type>;

    explicit Task(Handle h) : m_handle(h) {}
    Task(Task &&other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
    Task &operator=(Task &&other) noexcept
    {
        if (this != &other) {
            release();
            m_handle = std::exchange(other.m_handle, nullptr);
        }
        return *this;
    }
    Task(const Task &) = delete;
    Task &operator=(const Task &) = delete;
    ~Task() { release(); }

    // Whether the command has ended (a command with no wait on its way ends inside the call).
    bool done() const { return !m_handle || m_handle.promise().done; }

    // The command's result once it has ended; empty before (and for a task let go or abandoned).
    template <typename U = T>
        requires(!std::is_void_v<U>)
    const std::optional<U> &result() const
    {
        static const std::optional<U> none;
        return m_handle ? m_handle.promise().value : none;
    }

    // Calls f with the result when the command ends (now, if it has); the task lets go of it.
    template <typename F>
    void then(F f) &&
    {
        if (!m_handle)
            return; // let go already: its end is someone else's
        if (done()) {
            if constexpr (std::is_void_v<T>)
                f();
            else
                f(std::move(*m_handle.promise().value));
            return;
        }
        m_handle.promise().continuation = std::move(f);
        release();
    }

    // Lets the command run on to its end on its own (its result is not wanted).
    void detach() && { release(); }

    // Awaiting a task inside another: the outer one resumes when the inner one ends.
    bool await_ready() const noexcept { return done(); }
    template <typename P>
    void await_suspend(std::coroutine_handle<P> outer) noexcept
    {
        m_handle.promise().awaiting = outer;
        if constexpr (std::is_base_of_v<TaskDetail::Frame, P>)
            m_handle.promise().awaiter = &outer.promise();
    }
    T await_resume()
    {
        if constexpr (!std::is_void_v<T>)
            return std::move(*m_handle.promise().value);
    }

private:
    void release()
    {
        if (!m_handle)
            return;
        const TaskDetail::Frame &frame = m_handle.promise();
        // Awaited and not ended: the frame awaiting it is being freed, abandoned with it.
        if (frame.done || frame.abandoned || frame.awaiter)
            m_handle.destroy();
        else
            m_handle.promise().released = true;
        m_handle = nullptr;
    }
    Handle m_handle;
};

template <typename T>
Task<T> TaskDetail::Promise<T>::get_return_object()
{
    self = std::coroutine_handle<Promise>::from_promise(*this);
    return Task<T>(std::coroutine_handle<Promise>::from_promise(*this));
}

#endif // Q_MOC_RUN

#pragma once
// A value given later: a person's answer to a question, the file chosen in a dialog, a message
// box closed. The view opens the question and gives the answer when there is one; the command
// awaits it as a step (Clock::reply), so it keeps its place, counts as running, and the event
// loop goes on meanwhile. A view that answers by itself (a script, the command-line tool) gives
// the answer at once, and the command goes on without a wait.

#include <functional>
#include <memory>
#include <optional>
#include <utility>

template <typename T>
class Reply {
public:
    using Ptr = std::shared_ptr<Reply>;
    static Ptr make() { return std::make_shared<Reply>(); }

    // Gives the answer; only the first one counts.
    void give(T value)
    {
        if (m_value)
            return;
        m_value = std::move(value);
        if (m_whenGiven)
            std::exchange(m_whenGiven, nullptr)();
    }
    bool given() const { return m_value.has_value(); }
    const std::optional<T> &value() const { return m_value; }
    // Called once when the answer is given (by the wait that awaits it).
    void whenGiven(std::function<void()> f) { m_whenGiven = std::move(f); }

private:
    std::optional<T> m_value;
    std::function<void()> m_whenGiven;
};

#pragma once
// The window a command was started from. A view names it as it starts a command (a click, a
// menu item, a key); the command's message boxes and questions then open centred on that window
// (WidgetPrompts), for as long as the command runs, whatever window is active meanwhile. A box
// that no view's command started (an unplugged pedal) opens on the main window.
//
//     CommandOrigin from(this);                                 // in the view's slot
//     m_service.saveParameters().then(from.untilEnd());         // held until the command ends
//
// or, the same in one call: CommandOrigin::start(this, [this] { return m_service.saveParameters(); });

#include "support/Task.h"

#include <QPointer>
#include <QWidget>
#include <memory>

namespace CommandOriginDetail {
template <typename>
inline constexpr bool IsTask = false;
template <typename T>
inline constexpr bool IsTask<Task<T>> = true;
} // namespace CommandOriginDetail

class CommandOrigin {
public:
    // Notes control's window as where what starts now comes from, until this origin and every
    // copy of it (a command's continuation: untilEnd()) are let go.
    explicit CommandOrigin(QWidget *control);

    // A continuation for Task::then: holds this origin until the command has ended.
    auto untilEnd() const
    {
        return [held = *this](auto &&...) {};
    }

    // Starts a command from control's window: a command that waits (a Task) holds the origin
    // until it ends; one that ends inside the call needs nothing more.
    template <typename Start>
    static void start(QWidget *control, Start command)
    {
        CommandOrigin from(control);
        if constexpr (CommandOriginDetail::IsTask<decltype(command())>)
            command().then(from.untilEnd());
        else
            command();
    }

    // The window of the newest origin still held whose window is shown; null when there is none.
    static QWidget *current();

private:
    struct Entry {
        QPointer<QWidget> window;
    };
    std::shared_ptr<Entry> m_entry;
};

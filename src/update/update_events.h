// What the engine tells the main window, as typed events rather than window messages with
// pointers in them: nothing another program posts to the window can free a pointer, show a
// page or start the product.
//
// The engine reports through IUpdateEvents (the fake records the events; the Win32 platform
// hands them to a CEventQueue). The window takes them from the queue on its own thread, in the
// order they were reported, when it is woken up by a payload-free message and on a steady
// timer, so that a wake-up lost in a full message queue delays an event but never loses it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace zr {

struct UpdateEvent {
  enum class Kind {
    kProgress,    // value: the bar's position, 0 to 100
    kSpeed,       // value: bytes per second; negative clears the speed line
    kStatusText,  // text: the status line
    kFatalText,   // text: shown in an error box, after which the updater closes
    kSucceeded,   // the completion page, then the product is started
    kFinished,    // every other end of the run: the window closes
    kQuit,        // the user kept the product running: the updater's message loop ends
  };
  UpdateEvent() = default;
  UpdateEvent(Kind kind, int64_t value = 0, std::wstring text = {}) : kind(kind), value(value), text(std::move(text)) {}

  Kind kind = Kind::kStatusText;
  int64_t value = 0;
  std::wstring text;
};

class IUpdateEvents {
 public:
  virtual ~IUpdateEvents() = default;
  // Never blocks on the window and never fails: an event is delivered or the process ends.
  virtual void Report(UpdateEvent event) = 0;
};

// The events on their way from the worker thread to the window's thread, under a lock.
class CEventQueue : public IUpdateEvents {
 public:
  // `wake` posts the window its wake-up message; false when it could not. It is asked for when
  // an event arrives and no wake-up is pending; one is pending until the queue is found empty.
  explicit CEventQueue(std::function<bool()> wake) : m_wake(std::move(wake)) {}

  void Report(UpdateEvent event) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.push_back(std::move(event));
    if (!m_wakePending && m_wake) m_wakePending = m_wake();
  }
  // The oldest event, or none. One at a time: a handler that runs a modal loop (the fatal box)
  // may take the next events from within it, and they still come in order.
  std::optional<UpdateEvent> Take() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_events.empty()) {
      m_wakePending = false;
      return std::nullopt;
    }
    UpdateEvent event = std::move(m_events.front());
    m_events.pop_front();
    return event;
  }

 private:
  std::mutex m_mutex;
  std::deque<UpdateEvent> m_events;
  std::function<bool()> m_wake;
  bool m_wakePending = false;
};

}  // namespace zr

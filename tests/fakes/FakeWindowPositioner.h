#pragma once

#include "tests/fakes/CallLog.h"

#include "platform/ports/WindowPositioner.h"

namespace pelmora::fakes {

// Records every window placement by the window's object name; it needs the window classes, so it
// lives apart from the widget-free fakes.
class FakeWindowPositioner final : public platform::WindowPositioner {
public:
    explicit FakeWindowPositioner(CallLog& log) : m_log(log) {}
    // When set, every call is recorded and then passed on to this real positioner.
    platform::WindowPositioner* passTo = nullptr;
    bool setWindowPos(QWidget* window, platform::InsertAfter insertAfter, int x, int y, int cx,
                      int cy, unsigned flags) override;

private:
    CallLog& m_log;
};

} // namespace pelmora::fakes

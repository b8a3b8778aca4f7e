// The application module and its message loops: the module records the
// main thread and keeps one message loop per user-interface thread; a loop
// lets windows filter messages before they are dispatched (a modeless
// dialog's keyboard handling) and run work when the queue is empty.
#pragma once

#include <windows.h>

#include <map>
#include <mutex>
#include <vector>

namespace qb::app {

class CMessageFilter {
public:
    virtual ~CMessageFilter() = default;
    // True when the message has been handled and must not be dispatched.
    virtual bool PreTranslateMessage(MSG& message) = 0;
};

class CIdleHandler {
public:
    virtual ~CIdleHandler() = default;
    virtual void OnIdle() = 0;
};

class CMessageLoop {
public:
    void AddMessageFilter(CMessageFilter* filter);
    void RemoveMessageFilter(CMessageFilter* filter);
    void AddIdleHandler(CIdleHandler* handler);
    void RemoveIdleHandler(CIdleHandler* handler);

    // Runs until the quit request; returns its exit code.
    int Run();
    // Offers the message to the filters, the one added last first; true
    // when one of them has handled it.
    bool PreTranslateMessage(MSG& message);

private:
    void RunIdleHandlers();

    std::vector<CMessageFilter*> filters_;
    std::vector<CIdleHandler*> idleHandlers_;
};

class CAppModule {
public:
    // Records the instance and the main thread. False when the module
    // cannot start.
    bool Init(HINSTANCE instance);
    void Term();

    HINSTANCE Instance() const { return instance_; }
    DWORD MainThreadId() const { return mainThreadId_; }

    bool AddMessageLoop(CMessageLoop* loop);
    void RemoveMessageLoop();
    // The loop of the calling thread, or null.
    CMessageLoop* GetMessageLoop() const;

private:
    HINSTANCE instance_ = nullptr;
    DWORD mainThreadId_ = 0;
    mutable std::mutex mutex_;
    std::map<DWORD, CMessageLoop*> loops_;
};

// The one module of the process.
CAppModule& Module();

}  // namespace qb::app

#include "app/app_module.h"

#include <algorithm>

namespace qb::app {

void CMessageLoop::AddMessageFilter(CMessageFilter* filter) { filters_.push_back(filter); }

void CMessageLoop::RemoveMessageFilter(CMessageFilter* filter) {
    filters_.erase(std::remove(filters_.begin(), filters_.end(), filter), filters_.end());
}

void CMessageLoop::AddIdleHandler(CIdleHandler* handler) { idleHandlers_.push_back(handler); }

void CMessageLoop::RemoveIdleHandler(CIdleHandler* handler) {
    idleHandlers_.erase(std::remove(idleHandlers_.begin(), idleHandlers_.end(), handler), idleHandlers_.end());
}

bool CMessageLoop::PreTranslateMessage(MSG& message) {
    // A copy, since a filter may remove itself.
    const std::vector<CMessageFilter*> filters = filters_;
    for (auto filter = filters.rbegin(); filter != filters.rend(); ++filter) {
        if ((*filter)->PreTranslateMessage(message)) return true;
    }
    return false;
}

void CMessageLoop::RunIdleHandlers() {
    const std::vector<CIdleHandler*> handlers = idleHandlers_;
    for (CIdleHandler* handler : handlers) handler->OnIdle();
}

int CMessageLoop::Run() {
    MSG message {};
    for (;;) {
        if (!::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) RunIdleHandlers();
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) break;  // the quit request
        if (got == -1) continue;
        if (!PreTranslateMessage(message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

bool CAppModule::Init(HINSTANCE instance) {
    instance_ = instance;
    mainThreadId_ = ::GetCurrentThreadId();
    return instance_ != nullptr;
}

void CAppModule::Term() {
    std::lock_guard lock(mutex_);
    loops_.clear();
}

bool CAppModule::AddMessageLoop(CMessageLoop* loop) {
    std::lock_guard lock(mutex_);
    return loops_.emplace(::GetCurrentThreadId(), loop).second;
}

void CAppModule::RemoveMessageLoop() {
    std::lock_guard lock(mutex_);
    loops_.erase(::GetCurrentThreadId());
}

CMessageLoop* CAppModule::GetMessageLoop() const {
    std::lock_guard lock(mutex_);
    const auto found = loops_.find(::GetCurrentThreadId());
    return found != loops_.end() ? found->second : nullptr;
}

CAppModule& Module() {
    static CAppModule module;
    return module;
}

}  // namespace qb::app

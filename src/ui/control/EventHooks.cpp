#include "ui/control/EventHooks.h"

namespace Veneer {

CDelegateBase::CDelegateBase(void* object, const void* function, size_t functionSize)
    : object_(object), functionSize_(functionSize < kMaxFunctionSize ? functionSize : kMaxFunctionSize) {
    std::memcpy(function_, function, functionSize_);
}

bool CDelegateBase::Equals(const CDelegateBase& other) const {
    return object_ == other.object_ && functionSize_ == other.functionSize_ &&
           std::memcmp(function_, other.function_, functionSize_) == 0;
}

CEventHooks::~CEventHooks() {
    for (CDelegateBase* delegate : delegates_) delete delegate;
}

void CEventHooks::Add(const CDelegateBase& delegate) {
    for (CDelegateBase* existing : delegates_) {
        if (existing->Equals(delegate)) return;
    }
    delegates_.push_back(delegate.Clone());
}

void CEventHooks::Remove(const CDelegateBase& delegate) {
    for (auto it = delegates_.begin(); it != delegates_.end(); ++it) {
        if ((*it)->Equals(delegate)) {
            delete *it;
            delegates_.erase(it);
            return;
        }
    }
}

bool CEventHooks::Invoke(void* param) {
    // By index: a delegate may add hooks to this list while it runs.
    for (size_t i = 0; i < delegates_.size(); ++i) {
        if (!delegates_[i]->Invoke(param)) return false;
    }
    return true;
}

}  // namespace Veneer

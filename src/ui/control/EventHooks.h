#pragma once
// Hook lists through which other code watches a control: CEventHooks owns an
// ordered list of CDelegateBase objects and invokes them until one says false.

#include <cstring>
#include <vector>

namespace Veneer {

class CDelegateBase {
public:
    virtual ~CDelegateBase() = default;
    virtual CDelegateBase* Clone() const = 0;
    virtual bool Invoke(void* param) = 0;

    // Same object and same function.
    bool Equals(const CDelegateBase& other) const;

protected:
    CDelegateBase(void* object, const void* function, size_t functionSize);

private:
    // Large enough for a member-function pointer of any class on both targets.
    static constexpr size_t kMaxFunctionSize = 16;
    void* object_;
    unsigned char function_[kMaxFunctionSize] = {};
    size_t functionSize_;
};

class CDelegateStatic : public CDelegateBase {
public:
    using Function = bool (*)(void*);
    explicit CDelegateStatic(Function function)
        : CDelegateBase(nullptr, &function, sizeof function), function_(function) {}
    CDelegateBase* Clone() const override { return new CDelegateStatic(*this); }
    bool Invoke(void* param) override { return function_(param); }

private:
    Function function_;
};

template <class Object>
class CDelegate : public CDelegateBase {
public:
    using Function = bool (Object::*)(void*);
    CDelegate(Object* object, Function function)
        : CDelegateBase(object, &function, sizeof function), object_(object), function_(function) {
        static_assert(sizeof(Function) <= 16, "member-function pointer larger than the delegate keeps");
    }
    CDelegateBase* Clone() const override { return new CDelegate(*this); }
    bool Invoke(void* param) override { return (object_->*function_)(param); }

private:
    Object* object_;
    Function function_;
};

inline CDelegateStatic MakeDelegate(bool (*function)(void*)) { return CDelegateStatic(function); }
template <class Object>
CDelegate<Object> MakeDelegate(Object* object, bool (Object::*function)(void*)) {
    return CDelegate<Object>(object, function);
}

class CEventHooks {
public:
    CEventHooks() = default;
    ~CEventHooks();
    CEventHooks(const CEventHooks&) = delete;
    CEventHooks& operator=(const CEventHooks&) = delete;

    bool IsEmpty() const { return delegates_.empty(); }
    // A delegate equal to one in the list is not added again; otherwise a clone is appended.
    void Add(const CDelegateBase& delegate);
    void Remove(const CDelegateBase& delegate);
    void operator+=(const CDelegateBase& delegate) { Add(delegate); }
    void operator-=(const CDelegateBase& delegate) { Remove(delegate); }
    // Calls each delegate in order; the first false ends the walk and is returned.
    // An empty list returns true.
    bool Invoke(void* param);
    bool operator()(void* param) { return Invoke(param); }

private:
    std::vector<CDelegateBase*> delegates_;
};

}  // namespace Veneer

// Hook lists: duplicates are kept once, the first false ends the walk, an empty
// list lets the caller go on, and delegates are owned clones.

#include "ui/control/EventHooks.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Veneer;

namespace {

std::vector<int> calls;

bool First(void*) {
    calls.push_back(1);
    return true;
}
bool Refuse(void*) {
    calls.push_back(2);
    return false;
}
bool Last(void*) {
    calls.push_back(3);
    return true;
}

struct Watcher {
    int seen = 0;
    void* lastParam = nullptr;
    bool Watch(void* param) {
        ++seen;
        lastParam = param;
        return true;
    }
    bool Other(void*) { return true; }
};

TEST(EventHooks, AnEmptyListLetsTheCallerGoOn) {
    CEventHooks hooks;
    EXPECT_TRUE(hooks.IsEmpty());
    EXPECT_TRUE(hooks.Invoke(nullptr));
}

TEST(EventHooks, TheSameObjectAndFunctionTwiceAreCalledOnce) {
    Watcher watcher;
    Watcher another;
    CEventHooks hooks;
    hooks += MakeDelegate(&watcher, &Watcher::Watch);
    hooks += MakeDelegate(&watcher, &Watcher::Watch);
    hooks += MakeDelegate(&watcher, &Watcher::Other);  // same object, other function
    hooks += MakeDelegate(&another, &Watcher::Watch);  // same function, other object
    int param = 0;
    EXPECT_TRUE(hooks(&param));
    EXPECT_EQ(watcher.seen, 1);
    EXPECT_EQ(watcher.lastParam, &param);
    EXPECT_EQ(another.seen, 1);
    hooks -= MakeDelegate(&watcher, &Watcher::Watch);
    hooks.Invoke(nullptr);
    EXPECT_EQ(watcher.seen, 1);
    EXPECT_EQ(another.seen, 2);
}

TEST(EventHooks, TheFirstFalseEndsTheWalk) {
    calls.clear();
    CEventHooks hooks;
    hooks += MakeDelegate(First);
    hooks += MakeDelegate(Refuse);
    hooks += MakeDelegate(Last);
    hooks += MakeDelegate(First);
    EXPECT_FALSE(hooks.Invoke(nullptr));
    EXPECT_EQ(calls, (std::vector<int>{1, 2}));
}

}  // namespace

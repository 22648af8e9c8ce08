// The pointer array and the string map: growth, insertion and removal at the
// edges, replacing values, and walking the keys.

#include "ui/core/UiCollections.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace Veneer;

namespace {

int values[100];

TEST(PtrArray, GrowsInsertsAndRemoves) {
    CPtrArray array;
    for (int i = 0; i < 100; ++i) array.Add(&values[i]);
    EXPECT_EQ(array.GetSize(), 100);
    EXPECT_EQ(array[99], &values[99]);
    EXPECT_EQ(array.GetAt(100), nullptr);
    EXPECT_EQ(array.GetAt(-1), nullptr);
    EXPECT_TRUE(array.InsertAt(0, &values[50]));
    EXPECT_EQ(array[0], &values[50]);
    EXPECT_EQ(array.Find(&values[50]), 0);  // the first equal pointer
    EXPECT_TRUE(array.RemoveItem(&values[50]));
    EXPECT_EQ(array.Find(&values[50]), 50);
    EXPECT_FALSE(array.InsertAt(200, &values[0]));
    EXPECT_FALSE(array.Remove(100));
    EXPECT_TRUE(array.Remove(99));
    EXPECT_EQ(array.GetSize(), 99);
    CPtrArray copy(array);
    array.Empty();
    EXPECT_TRUE(array.IsEmpty());
    EXPECT_EQ(copy.GetSize(), 99);
    EXPECT_FALSE(copy.RemoveItem(&values[99]));
}

TEST(StringPtrMap, KeepsOneValuePerKey) {
    CStringPtrMap map;
    EXPECT_TRUE(map.Insert(L"a", &values[1]));
    EXPECT_FALSE(map.Insert(L"a", &values[2]));
    EXPECT_EQ(map.Find(L"a"), &values[1]);
    EXPECT_EQ(map.Set(L"a", &values[3]), &values[1]);
    EXPECT_EQ(map.Find(L"a"), &values[3]);
    EXPECT_EQ(map.Set(L"b", &values[4]), nullptr);
    EXPECT_EQ(map.Find(L"c"), nullptr);
    EXPECT_EQ(map.Find(nullptr), nullptr);
    EXPECT_TRUE(map.Contains(L"b"));
    EXPECT_FALSE(map.Contains(L"B"));  // keys are case-sensitive
    EXPECT_TRUE(map.Remove(L"a"));
    EXPECT_FALSE(map.Remove(L"a"));
    EXPECT_EQ(map.GetSize(), 1);
}

TEST(StringPtrMap, WalksEveryKeyOnceAcrossBucketCollisions) {
    CStringPtrMap map;  // 83 buckets: 500 keys share them
    for (int i = 0; i < 500; ++i) map.Insert(std::to_wstring(i).c_str(), &values[i % 100]);
    std::set<std::wstring> seen;
    for (int i = 0; i < map.GetSize(); ++i) seen.insert(map.KeyAt(i));
    EXPECT_EQ(seen.size(), 500u);
    EXPECT_EQ(map.KeyAt(500), nullptr);
    EXPECT_EQ(map.Find(L"499"), &values[99]);
    map.RemoveAll();
    EXPECT_TRUE(map.IsEmpty());
    EXPECT_EQ(map.Find(L"1"), nullptr);
}

}  // namespace

#pragma once
// The Veneer framework's two small containers: a growable array of untyped
// pointers, and a hash map from wide strings to untyped pointers. Neither owns
// what its pointers point at.

#include "ui/core/UiString.h"

namespace Veneer {

class CPtrArray {
public:
    CPtrArray() = default;
    CPtrArray(const CPtrArray& other);
    CPtrArray& operator=(const CPtrArray& other);
    ~CPtrArray();

    bool IsEmpty() const { return count_ == 0; }
    int GetSize() const { return count_; }
    void* GetAt(int index) const;  // nullptr out of range
    void* operator[](int index) const { return GetAt(index); }
    void** GetData() const { return items_; }
    // Index of the first equal pointer, or -1.
    int Find(const void* item) const;

    void Add(void* item);
    bool InsertAt(int index, void* item);
    bool SetAt(int index, void* item);
    bool Remove(int index);
    bool RemoveItem(const void* item);  // the first equal pointer
    void Empty();

private:
    void** items_ = nullptr;
    int count_ = 0;
    int capacity_ = 0;
};

class CStringPtrMap {
public:
    static constexpr int kDefaultBuckets = 83;

    explicit CStringPtrMap(int buckets = kDefaultBuckets);
    ~CStringPtrMap();
    CStringPtrMap(const CStringPtrMap&) = delete;
    CStringPtrMap& operator=(const CStringPtrMap&) = delete;

    int GetSize() const { return count_; }
    bool IsEmpty() const { return count_ == 0; }
    // The value under key, or nullptr.
    void* Find(const wchar_t* key) const;
    bool Contains(const wchar_t* key) const;
    // Fails when the key is present already.
    bool Insert(const wchar_t* key, void* value);
    // Stores the value; returns the one it replaced (nullptr when new).
    void* Set(const wchar_t* key, void* value);
    bool Remove(const wchar_t* key);
    void RemoveAll();
    // The keys in a stable order for walking the map: index 0 .. GetSize()-1.
    // Walking stays valid only while the map is not changed.
    const wchar_t* KeyAt(int index) const;

private:
    struct Node {
        CUiString key;
        void* value;
        Node* next;
    };
    static unsigned Hash(const wchar_t* key);
    Node* FindNode(const wchar_t* key) const;

    Node** buckets_;
    int bucketCount_;
    int count_ = 0;
};

}  // namespace Veneer

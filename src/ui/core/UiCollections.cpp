#include "ui/core/UiCollections.h"

#include <cstdlib>
#include <cstring>

namespace Veneer {

CPtrArray::CPtrArray(const CPtrArray& other) { *this = other; }

CPtrArray& CPtrArray::operator=(const CPtrArray& other) {
    if (this == &other) return *this;
    Empty();
    for (int i = 0; i < other.count_; ++i) Add(other.items_[i]);
    return *this;
}

CPtrArray::~CPtrArray() { free(items_); }

void* CPtrArray::GetAt(int index) const { return index >= 0 && index < count_ ? items_[index] : nullptr; }

int CPtrArray::Find(const void* item) const {
    for (int i = 0; i < count_; ++i) {
        if (items_[i] == item) return i;
    }
    return -1;
}

void CPtrArray::Add(void* item) { InsertAt(count_, item); }

bool CPtrArray::InsertAt(int index, void* item) {
    if (index < 0 || index > count_) return false;
    if (count_ == capacity_) {
        int capacity = capacity_ == 0 ? 11 : capacity_ * 2;
        auto* grown = static_cast<void**>(realloc(items_, capacity * sizeof(void*)));
        if (grown == nullptr) abort();
        items_ = grown;
        capacity_ = capacity;
    }
    memmove(items_ + index + 1, items_ + index, (count_ - index) * sizeof(void*));
    items_[index] = item;
    ++count_;
    return true;
}

bool CPtrArray::SetAt(int index, void* item) {
    if (index < 0 || index >= count_) return false;
    items_[index] = item;
    return true;
}

bool CPtrArray::Remove(int index) {
    if (index < 0 || index >= count_) return false;
    --count_;
    memmove(items_ + index, items_ + index + 1, (count_ - index) * sizeof(void*));
    return true;
}

bool CPtrArray::RemoveItem(const void* item) { return Remove(Find(item)); }

void CPtrArray::Empty() { count_ = 0; }

CStringPtrMap::CStringPtrMap(int buckets) : bucketCount_(buckets > 0 ? buckets : kDefaultBuckets) {
    buckets_ = new Node*[bucketCount_]();
}

CStringPtrMap::~CStringPtrMap() {
    RemoveAll();
    delete[] buckets_;
}

unsigned CStringPtrMap::Hash(const wchar_t* key) {
    unsigned hash = 0;
    for (; *key != L'\0'; ++key) hash = hash * 31 + static_cast<unsigned>(*key);
    return hash;
}

CStringPtrMap::Node* CStringPtrMap::FindNode(const wchar_t* key) const {
    if (key == nullptr) return nullptr;
    for (Node* node = buckets_[Hash(key) % bucketCount_]; node != nullptr; node = node->next) {
        if (node->key == key) return node;
    }
    return nullptr;
}

void* CStringPtrMap::Find(const wchar_t* key) const {
    Node* node = FindNode(key);
    return node != nullptr ? node->value : nullptr;
}

bool CStringPtrMap::Contains(const wchar_t* key) const { return FindNode(key) != nullptr; }

bool CStringPtrMap::Insert(const wchar_t* key, void* value) {
    if (key == nullptr || FindNode(key) != nullptr) return false;
    Node*& head = buckets_[Hash(key) % bucketCount_];
    head = new Node{CUiString(key), value, head};
    ++count_;
    return true;
}

void* CStringPtrMap::Set(const wchar_t* key, void* value) {
    if (key == nullptr) return nullptr;
    if (Node* node = FindNode(key)) {
        void* old = node->value;
        node->value = value;
        return old;
    }
    Insert(key, value);
    return nullptr;
}

bool CStringPtrMap::Remove(const wchar_t* key) {
    if (key == nullptr) return false;
    for (Node** link = &buckets_[Hash(key) % bucketCount_]; *link != nullptr; link = &(*link)->next) {
        if ((*link)->key == key) {
            Node* gone = *link;
            *link = gone->next;
            delete gone;
            --count_;
            return true;
        }
    }
    return false;
}

void CStringPtrMap::RemoveAll() {
    for (int i = 0; i < bucketCount_; ++i) {
        while (Node* node = buckets_[i]) {
            buckets_[i] = node->next;
            delete node;
        }
    }
    count_ = 0;
}

const wchar_t* CStringPtrMap::KeyAt(int index) const {
    if (index < 0 || index >= count_) return nullptr;
    for (int i = 0; i < bucketCount_; ++i) {
        for (Node* node = buckets_[i]; node != nullptr; node = node->next) {
            if (index-- == 0) return node->key;
        }
    }
    return nullptr;
}

}  // namespace Veneer

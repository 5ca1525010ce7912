// A list of plain records (commands, PCM runs, wait bytes) that grows in
// place: its room is one malloc'd block resized with realloc, so a list of
// many megabytes keeps its pages when it grows (the allocator remaps them)
// instead of copying every record into fresh memory, which costs as much
// again as the list and faults in every page a second time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>
#include <vector>

namespace VGM {

template <class T>
class GrowList {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                  "the list moves its records as bytes");

public:
    using value_type = T;
    using iterator = T*;
    using const_iterator = const T*;

    GrowList() = default;
    GrowList(std::initializer_list<T> items) { assign(items.begin(), items.size()); }
    GrowList(size_t n, const T& value) { resize(n, value); }
    // Tests and the few callers that build a list whole hand it over as a vector.
    GrowList(const std::vector<T>& items) { assign(items.data(), items.size()); }
    GrowList(const GrowList& other) { assign(other.items, other.count); }
    GrowList(GrowList&& other) noexcept { swap(other); }
    GrowList& operator=(const GrowList& other) {
        if (this != &other) {
            GrowList copy(other);
            swap(copy);
        }
        return *this;
    }
    GrowList& operator=(GrowList&& other) noexcept {
        GrowList taken(std::move(other));
        swap(taken);
        return *this;
    }
    ~GrowList() { std::free(items); }

    void swap(GrowList& other) noexcept {
        std::swap(items, other.items);
        std::swap(count, other.count);
        std::swap(room, other.room);
    }

    size_t size() const { return count; }
    size_t capacity() const { return room; }
    bool empty() const { return count == 0; }
    T* data() { return items; }
    const T* data() const { return items; }
    T* begin() { return items; }
    T* end() { return items + count; }
    const T* begin() const { return items; }
    const T* end() const { return items + count; }
    T& operator[](size_t i) { return items[i]; }
    const T& operator[](size_t i) const { return items[i]; }
    T& front() { return items[0]; }
    const T& front() const { return items[0]; }
    T& back() { return items[count - 1]; }
    const T& back() const { return items[count - 1]; }

    // Room for `n` records; throws std::bad_alloc when there is none.
    void reserve(size_t n) {
        if (n > room) setRoom(n);
    }
    void push_back(const T& item) {
        if (count == room) setRoom(room ? 2 * room : 8);
        items[count++] = item;
    }
    void resize(size_t n, const T& value = T{}) {
        reserve(n);
        for (size_t i = count; i < n; ++i) items[i] = value;
        count = n;
    }
    void clear() { count = 0; }
    void shrink_to_fit() {
        if (count == room) return;
        if (count == 0) {
            std::free(items);
            items = nullptr;
            room = 0;
            return;
        }
        setRoom(count);
    }

    friend bool operator==(const GrowList& a, const GrowList& b) {
        return a.count == b.count && (a.count == 0 || std::memcmp(a.items, b.items, a.count * sizeof(T)) == 0);
    }

private:
    void setRoom(size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        void* grown = std::realloc(items, n * sizeof(T));
        if (!grown) throw std::bad_alloc();
        items = static_cast<T*>(grown);
        room = n;
    }
    void assign(const T* from, size_t n) {
        reserve(n);
        if (n) std::memcpy(items, from, n * sizeof(T));
        count = n;
    }

    T* items = nullptr;
    size_t count = 0;
    size_t room = 0;
};

} // namespace VGM

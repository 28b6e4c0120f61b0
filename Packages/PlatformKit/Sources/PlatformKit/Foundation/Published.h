#pragma once
// A published property of an observable object: every write announces itself to the
// observers before the value changes (even when the new value is equal), the way the
// interface learns that it must redraw. Used from the main thread only.
#include <functional>
#include <utility>
#include <vector>

namespace pk {

template <class T>
class Published {
public:
    using Observer = std::function<void(const T& newValue)>;

    Published() = default;
    explicit Published(T initial) : value_(std::move(initial)) {}
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    const T& get() const { return value_; }
    const T& operator*() const { return value_; }
    const T* operator->() const { return &value_; }
    operator const T&() const { return value_; }

    void set(T v) {
        for (size_t i = 0; i < observers_.size(); ++i)
            if (observers_[i].second) observers_[i].second(v);
        value_ = std::move(v);
    }
    Published& operator=(T v) {
        set(std::move(v));
        return *this;
    }
    // Changes the value in place through fn, announcing first.
    template <class Fn>
    void modify(Fn&& fn) {
        T copy = value_;
        fn(copy);
        set(std::move(copy));
    }

    int observe(Observer fn) {
        observers_.emplace_back(nextId_, std::move(fn));
        return nextId_++;
    }
    void removeObserver(int id) {
        for (auto& o : observers_)
            if (o.first == id) o.second = nullptr;
    }

private:
    T value_{};
    std::vector<std::pair<int, Observer>> observers_;
    int nextId_ = 1;
};

}  // namespace pk
